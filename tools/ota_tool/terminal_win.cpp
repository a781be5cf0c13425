#include "terminal.h"

#include <io.h>
#include <windows.h>

bool terminal::is_terminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int terminal::width(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!GetConsoleScreenBufferInfo(handle, &info))
        return 79;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 1 ? columns - 1 : 79;
}

// Windows has no signal for a closed pipe: writes fail by themselves.
void terminal::keep_going_on_closed_pipe() {}
