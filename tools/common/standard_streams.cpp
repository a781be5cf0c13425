#include "standard_streams.h"

#include <QFile>

#include <cstdio>

namespace standard_streams {

bool write_binary(const QByteArray &bytes, QString *error)
{
    std::fflush(stdout); // text printed before goes first
    QFile out;
    if (!set_binary_output() ||
        !out.open(fileno(stdout), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        *error = out.errorString();
        return false;
    }
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace standard_streams
