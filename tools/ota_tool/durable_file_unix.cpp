#include "durable_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool durable_file::sync(QFile &file, QString *error)
{
    if (::fsync(file.handle()) == 0)
        return true;
    const int sync_error = errno;
    struct stat status = {};
    if (sync_error == EINVAL && ::fstat(file.handle(), &status) == 0 && !S_ISREG(status.st_mode))
        return true;
    *error = QString::fromLocal8Bit(std::strerror(sync_error));
    return false;
}

bool durable_file::still_named(QFile &file, const QString &path)
{
    struct stat open = {}, named = {};
    return ::fstat(file.handle(), &open) == 0 &&
           ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
