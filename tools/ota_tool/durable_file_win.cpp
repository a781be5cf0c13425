#include "durable_file.h"

#include <QFile>

#include <io.h>
#include <windows.h>

bool durable_file::sync(QFile &file, QString *error)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (FlushFileBuffers(handle))
        return true;
    const DWORD code = GetLastError();
    // A console or a pipe has nothing to flush.
    if (code == ERROR_INVALID_HANDLE || code == ERROR_INVALID_FUNCTION)
        return true;
    *error = QStringLiteral("cannot flush to disk (system error %1)").arg(code);
    return false;
}

// A file that Qt holds open cannot be deleted or renamed on Windows, so the
// path keeps naming it.
bool durable_file::still_named(QFile &, const QString &)
{
    return true;
}
