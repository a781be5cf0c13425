#include "tool_output.h"

#include <QFile>

#include <cstdio>


namespace {

bool output_failed = false;

bool write_utf8(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

} // namespace

void print_out(const QString &line)
{
    if (!write_utf8(stdout, line + QLatin1Char('\n')))
        output_failed = true;
}

void print_error(const QString &line)
{
    write_utf8(stderr, QStringLiteral("vantrel-package: ") + line + QLatin1Char('\n'));
}

bool standard_output_failed()
{
    return output_failed;
}
