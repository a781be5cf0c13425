#include "pty_link.h"

#include <cerrno>
#include <poll.h>
#include <string>
#include <unistd.h>

pty_link::pty_link()
{
    if (is_valid())
        worker = std::thread([this] { relay(); });
}

pty_link::~pty_link()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
}

namespace {

// Bytes read from one master and not yet taken by the other.
struct direction
{
    int from;
    int to;
    std::string pending;
};

const size_t max_pending = 1 << 20;

// Returns whether any byte moved.
bool move_bytes(direction &d, short from_events, short to_events)
{
    bool moved = false;
    if ((from_events & POLLIN) && d.pending.size() < max_pending) {
        char buffer[65536];
        const ssize_t got = ::read(d.from, buffer, sizeof buffer);
        if (got > 0) {
            d.pending.append(buffer, static_cast<size_t>(got));
            moved = true;
        }
    }
    if (!d.pending.empty() && (to_events & POLLOUT)) {
        const ssize_t put = ::write(d.to, d.pending.data(), d.pending.size());
        if (put > 0) {
            d.pending.erase(0, static_cast<size_t>(put));
            moved = true;
        }
    }
    return moved;
}

} // namespace

void pty_link::relay()
{
    direction forward{first.master(), second.master(), {}};
    direction backward{second.master(), first.master(), {}};
    while (!stopping) {
        pollfd fds[2] = {{first.master(), POLLIN, 0}, {second.master(), POLLIN, 0}};
        if (!backward.pending.empty())
            fds[0].events |= POLLOUT;
        if (!forward.pending.empty())
            fds[1].events |= POLLOUT;
        if (poll(fds, 2, 5) < 0 && errno != EINTR)
            break;
        const bool moved_forward = move_bytes(forward, fds[0].revents, fds[1].revents);
        const bool moved_backward = move_bytes(backward, fds[1].revents, fds[0].revents);
        // A master reports a hang-up while its slave is closed; wait for the
        // slave to open again instead of spinning.
        const bool hung_up = ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR)) != 0;
        if (hung_up && !moved_forward && !moved_backward)
            usleep(1000);
    }
}
