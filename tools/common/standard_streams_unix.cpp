#include "standard_streams.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standard_streams {

void prepare_console() {}

bool failed_for_hang_up()
{
    return errno == EIO;
}

bool is_terminal(std::FILE *stream)
{
    return isatty(fileno(stream)) != 0;
}

int width(std::FILE *stream)
{
    winsize size = {};
    return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
}

void keep_going_on_closed_pipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

bool is_standard_output(const QString &path)
{
    if (path == QLatin1String("-"))
        return true;
    struct stat out = {}, target = {};
    return fstat(STDOUT_FILENO, &out) == 0 &&
           stat(QFile::encodeName(path).constData(), &target) == 0 && out.st_dev == target.st_dev &&
           out.st_ino == target.st_ino;
}

bool set_binary_output()
{
    return true;
}

} // namespace standard_streams
