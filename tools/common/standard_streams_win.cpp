#include "standard_streams.h"

#include <QDir>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace standard_streams {

void prepare()
{
    SetConsoleOutputCP(CP_UTF8);
}

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
