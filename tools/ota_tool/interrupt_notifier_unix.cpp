#include "interrupt_notifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int handled_signals[] = {SIGINT, SIGTERM, SIGHUP};
int socket_fds[2] = {-1, -1};
volatile sig_atomic_t first_signal = 0;
volatile sig_atomic_t hung_up = 0;

extern "C" void on_signal(int number)
{
    const int saved_errno = errno;
    if (first_signal == 0)
        first_signal = number;
    if (number == SIGHUP)
        hung_up = 1;
    const char byte = 1;
    // Non-blocking: a full socket already holds an unread wake-up.
    [[maybe_unused]] const ssize_t written = ::write(socket_fds[0], &byte, 1);
    errno = saved_errno;
}

} // namespace

interrupt_notifier::interrupt_notifier(QObject *parent) : QObject(parent) {}

interrupt_notifier::~interrupt_notifier()
{
    if (socket_fds[0] < 0)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int number : handled_signals)
        sigaction(number, &action, nullptr);
    ::close(socket_fds[0]);
    ::close(socket_fds[1]);
    socket_fds[0] = socket_fds[1] = -1;
    first_signal = 0;
    hung_up = 0;
}

bool interrupt_notifier::install()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, socket_fds) != 0)
        return false;
    auto *notifier = new QSocketNotifier(socket_fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &interrupt_notifier::drain);
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int number : handled_signals)
        installed = sigaction(number, &action, nullptr) == 0 && installed;
    return installed;
}

bool interrupt_notifier::requested()
{
    return first_signal != 0;
}

bool interrupt_notifier::terminal_closed()
{
    return hung_up != 0;
}

void interrupt_notifier::drain()
{
    char bytes[16];
    while (::read(socket_fds[1], bytes, sizeof bytes) > 0) {
    }
    emit interrupted();
}
