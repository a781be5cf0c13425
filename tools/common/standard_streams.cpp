#include "standard_streams.h"

#include <QFile>

namespace standard_streams {

namespace {

QByteArray program_name;
bool output_failed = false;
bool (*terminal_gone)() = nullptr;

} // namespace

void prepare(const char *program)
{
    program_name = program;
    prepare_console();
}

void set_terminal_gone_check(bool (*gone)())
{
    terminal_gone = gone;
}

bool write_utf8(std::FILE *stream, const QString &text)
{
    const bool gone = terminal_gone && terminal_gone();
    if (gone && is_terminal(stream))
        return true;
    const QByteArray bytes = text.toUtf8();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    if (std::fflush(stream) == 0 && written)
        return true;
    // A hung-up terminal no longer even says it is one: it only fails.
    return gone && failed_for_hang_up();
}

bool print_out(const QString &text)
{
    const bool written = write_utf8(stdout, text.endsWith('\n') ? text : text + '\n');
    output_failed = output_failed || !written;
    return written;
}

void print_error(const QString &line)
{
    write_utf8(stderr, QString::fromUtf8(program_name) + QStringLiteral(": ") + line + '\n');
}

bool standard_output_failed()
{
    return output_failed;
}

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
