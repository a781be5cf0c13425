#include "station_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString system_error()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

station_log::~station_log()
{
    if (fd >= 0)
        ::close(fd);
}

bool station_log::open(const QString &path, QString *error)
{
    fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        *error = system_error();
    return fd >= 0;
}

bool station_log::append(const QByteArray &line, QString *error)
{
    for (qint64 written = 0; written < line.size();) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? system_error() : QStringLiteral("nothing written");
            return false;
        }
        written += n;
    }
    if (::fsync(fd) == 0)
        return true;
    // A terminal or a pipe has nothing to sync; a file that cannot be synced
    // has not been written.
    const int sync_error = errno;
    struct stat status = {};
    if (sync_error == EINVAL && ::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode))
        return true;
    *error = QString::fromLocal8Bit(std::strerror(sync_error));
    return false;
}
