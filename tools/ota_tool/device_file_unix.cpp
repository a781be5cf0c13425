#include "device_file.h"

#include <QFile>

#include <sys/stat.h>

bool device_file::is_character_device(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
}

QString device_file::instance(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    return QStringLiteral("%1:%2.%3")
        .arg(qulonglong(status.st_ino))
        .arg(qlonglong(status.st_ctim.tv_sec))
        .arg(qlonglong(status.st_ctim.tv_nsec));
}
