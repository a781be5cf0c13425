#include "pty_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

pty_pair::pty_pair()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios attributes{};
    const char *name = nullptr;
    // Raw before the slave opens, so no byte is ever translated.
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || tcgetattr(fd, &attributes) != 0 ||
        (cfmakeraw(&attributes), tcsetattr(fd, TCSANOW, &attributes)) != 0 ||
        !(name = ptsname(fd))) {
        ::close(fd);
        return;
    }
    slave_name = QString::fromLocal8Bit(name);
    master_fd = fd;
    fcntl(master_fd, F_SETFL, fcntl(master_fd, F_GETFL) | O_NONBLOCK);
}

static bool read_once(int fd, QByteArray &into, size_t limit = 65536)
{
    char buffer[65536];
    const ssize_t got = fd >= 0 ? ::read(fd, buffer, std::min(limit, sizeof buffer)) : -1;
    if (got > 0)
        into.append(buffer, int(got));
    return got > 0;
}

QByteArray pty_pair::read_master(int count, int timeout_ms)
{
    QByteArray result;
    QElapsedTimer idle;
    idle.start();
    while (master_fd >= 0 && result.size() < count && idle.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd descriptor{master_fd, POLLIN, 0};
        if (poll(&descriptor, 1, 2) > 0 && read_once(master_fd, result))
            idle.restart();
    }
    return result;
}

QByteArray pty_pair::read_available(int limit)
{
    QCoreApplication::processEvents();
    QByteArray result;
    while (result.size() < limit && read_once(master_fd, result, size_t(limit - result.size()))) {
    }
    return result;
}

bool pty_pair::write_master(const QByteArray &bytes)
{
    for (int written = 0; written < bytes.size();) {
        const ssize_t n =
            ::write(master_fd, bytes.constData() + written, size_t(bytes.size() - written));
        pollfd descriptor{master_fd, POLLOUT, 0};
        if (n > 0)
            written += int(n);
        else if (errno != EAGAIN && errno != EINTR)
            return false; // also when the master is closed
        else              // full: a burst larger than the terminal holds waits for the reader
            QCoreApplication::processEvents(), poll(&descriptor, 1, 10);
    }
    return true;
}

namespace {

struct direction
{
    int from, to;
    QByteArray pending;
    bool move(short from_events, short to_events) // whether any byte moved
    {
        bool moved =
            (from_events & POLLIN) && pending.size() < (1 << 20) && read_once(from, pending);
        if (!pending.isEmpty() && (to_events & POLLOUT)) {
            const ssize_t put = ::write(to, pending.constData(), size_t(pending.size()));
            if (put > 0)
                pending.remove(0, int(put)), moved = true;
        }
        return moved;
    }
};

} // namespace

pty_link::pty_link()
{
    if (!is_valid())
        return;
    worker = std::thread([this] {
        direction forward{first.master(), second.master(), {}};
        direction backward{second.master(), first.master(), {}};
        while (!stopping) {
            pollfd fds[2] = {{first.master(), POLLIN, 0}, {second.master(), POLLIN, 0}};
            fds[0].events |= backward.pending.isEmpty() ? 0 : POLLOUT;
            fds[1].events |= forward.pending.isEmpty() ? 0 : POLLOUT;
            if (poll(fds, 2, 5) < 0 && errno != EINTR)
                break;
            bool moved = forward.move(fds[0].revents, fds[1].revents);
            moved = backward.move(fds[1].revents, fds[0].revents) || moved;
            // A master reports a hang-up while its slave is closed: wait for it to reopen
            // instead of spinning.
            if (!moved && ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR)))
                usleep(1000);
        }
    });
}

pty_link::~pty_link()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
}
