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
    // A node made again has a new inode; its times are no guide, since udev
    // changes the owner and mode of a new node a moment after it appears.
    return QString::number(qulonglong(status.st_ino));
}
