#include "device_file.h"

#include <QFileInfo>

// Serial ports are COM names from the system's list, not files; a path that
// a pattern matches is a port only when it is neither a file nor a folder.
bool device_file::is_character_device(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

QString device_file::instance(const QString &)
{
    return QString();
}
