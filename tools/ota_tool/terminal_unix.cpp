#include "terminal.h"

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

bool terminal::is_terminal(std::FILE *stream)
{
    return isatty(fileno(stream)) != 0;
}

int terminal::width(std::FILE *stream)
{
    winsize size = {};
    return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
}

void terminal::keep_going_on_closed_pipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}
