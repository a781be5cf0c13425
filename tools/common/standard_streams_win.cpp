#include "standard_streams.h"

#include <QDir>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace standard_streams {

void prepare_console()
{
    SetConsoleOutputCP(CP_UTF8);
}

// A closed console fails writes with no reason of its own.
bool failed_for_hang_up()
{
    return true;
}

bool is_terminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int width(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!GetConsoleScreenBufferInfo(handle, &info))
        return 79;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 1 ? columns - 1 : 79;
}

// Windows has no signal for a closed pipe: writes fail by themselves.
void keep_going_on_closed_pipe() {}

namespace {

bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION *identity)
{
    return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
           GetFileInformationByHandle(handle, identity);
}

} // namespace

bool is_standard_output(const QString &path)
{
    if (path == QLatin1String("-"))
        return true;
    BY_HANDLE_FILE_INFORMATION out = {}, target = {};
    if (!file_identity(GetStdHandle(STD_OUTPUT_HANDLE), &out))
        return false;
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    HANDLE file =
        CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool same =
        file_identity(file, &target) && out.dwVolumeSerialNumber == target.dwVolumeSerialNumber &&
        out.nFileIndexHigh == target.nFileIndexHigh && out.nFileIndexLow == target.nFileIndexLow;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return same;
}

bool set_binary_output()
{
    return _setmode(_fileno(stdout), _O_BINARY) != -1;
}

} // namespace standard_streams
