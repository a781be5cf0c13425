#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

pty_pair::pty_pair()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    termios attributes{};
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || tcgetattr(fd, &attributes) != 0) {
        ::close(fd);
        return;
    }
    // Raw before the slave opens, so no byte is ever translated.
    cfmakeraw(&attributes);
    if (tcsetattr(fd, TCSANOW, &attributes) != 0) {
        ::close(fd);
        return;
    }
    const char *name = ptsname(fd);
    if (!name) {
        ::close(fd);
        return;
    }
    slave_name = QString::fromLocal8Bit(name);
    master_fd = fd;
    fcntl(master_fd, F_SETFL, fcntl(master_fd, F_GETFL) | O_NONBLOCK);
}

pty_pair::~pty_pair()
{
    close_master();
}

QByteArray pty_pair::read_master(int count, int timeout_ms)
{
    QByteArray result;
    QElapsedTimer idle;
    idle.start();
    while (master_fd >= 0 && result.size() < count && idle.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd descriptor{master_fd, POLLIN, 0};
        if (poll(&descriptor, 1, 2) <= 0)
            continue;
        char buffer[65536];
        const ssize_t got = ::read(master_fd, buffer, sizeof buffer);
        if (got > 0) {
            result.append(buffer, static_cast<int>(got));
            idle.restart();
        }
    }
    return result;
}

QByteArray pty_pair::read_available()
{
    QCoreApplication::processEvents();
    QByteArray result;
    char buffer[65536];
    while (master_fd >= 0) {
        const ssize_t got = ::read(master_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        result.append(buffer, static_cast<int>(got));
    }
    return result;
}

bool pty_pair::write_master(const QByteArray &bytes)
{
    int written = 0;
    while (master_fd >= 0 && written < bytes.size()) {
        const ssize_t n = ::write(master_fd, bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n > 0) {
            written += static_cast<int>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd descriptor{master_fd, POLLOUT, 0};
            poll(&descriptor, 1, 10);
        }
    }
    return written == bytes.size();
}

void pty_pair::close_master()
{
    if (master_fd >= 0) {
        ::close(master_fd);
        master_fd = -1;
    }
}
