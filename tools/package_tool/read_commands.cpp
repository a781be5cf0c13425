#include "read_commands.h"

#include "command_line.h"
#include "image_file.h"
#include "package_exit.h"
#include "package_format.h"
#include "package_reader.h"
#include "standard_streams.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

// Not an exit code: the command has done its job by printing its usage.
constexpr int help_printed = -1;

QString hex(quint32 value, int digits)
{
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

QString flag_text(quint32 flag)
{
    if (flag == upgrade_flag_yes)
        return hex(flag, 8) + QStringLiteral(" (carried)");
    if (flag == upgrade_flag_no)
        return hex(flag, 8) + QStringLiteral(" (not carried)");
    return hex(flag, 8) + QStringLiteral(" (unknown)");
}

// A package from a pipe or a device: no size to go by, so it is read no
// further than its header says the package goes, and one byte more to show
// that it goes on (a device like /dev/zero would otherwise fill the memory
// up to the size limit before any check could fail).
bool read_stream(QFile &file, QByteArray &package)
{
    using namespace package_format;
    const auto read_up_to = [&](qint64 total) {
        while (package.size() < total) {
            const QByteArray more = file.read(total - package.size());
            if (more.isEmpty())
                break;
            package += more;
        }
        return file.error() == QFileDevice::NoError;
    };
    if (!read_up_to(header_size))
        return false;
    if (package.size() < int(header_size))
        return true;
    const char *data = package.constData();
    qint64 source = 0;
    if (be_to_u32(data + boot_upgrade_flag_offset) == upgrade_flag_yes)
        source += be_to_u32(data + boot_file_size_offset);
    if (be_to_u32(data + app_upgrade_flag_offset) == upgrade_flag_yes)
        source += be_to_u32(data + app_file_size_offset);
    const quint32 check_len = be_to_u32(data + check_len_offset);
    const qint64 expected = check_len > 0 ? package_size(source, check_len) : header_size;
    return read_up_to(qMin(max_package_size, expected) + 1);
}

// The one positional argument of inspect and verify, read whole. Returns
// package_exit::ok, or the exit code when the command ends here; *help is set when
// the usage was asked for (and printed).
int read_package_argument(const QString &command, const QStringList &arguments, QString *path,
                          QByteArray &package)
{
    QCommandLineParser parser;
    const QCommandLineOption help_option{{QStringLiteral("h"), QStringLiteral("help")}};
    parser.addOption(help_option);
    QString error;
    if (!command_line::parse(parser, command, arguments, &error)) {
        standard_streams::print_error(error);
        return package_exit::usage;
    }
    const QString usage = QStringLiteral("usage: vantrel-package %1 PACKAGE").arg(command);
    if (parser.isSet(help_option)) {
        standard_streams::print_out(usage);
        return help_printed;
    }
    if (parser.positionalArguments().size() != 1) {
        standard_streams::print_error(usage);
        return package_exit::usage;
    }
    *path = parser.positionalArguments().first();
    QFile file(*path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && file.isSequential()) {
        if (read_stream(file, package))
            return package_exit::ok;
        standard_streams::print_error(
            QStringLiteral("%1: cannot read: %2").arg(*path, file.errorString()));
        return package_exit::file_error;
    }
    file.close();
    // The limit keeps a file that no build could have written from being
    // read into memory first.
    const image_file::read_outcome read =
        image_file::append_whole(*path, package, package_format::max_package_size);
    switch (read.status) {
    case image_file::read_status::ok:
        return package_exit::ok;
    case image_file::read_status::too_large:
        standard_streams::print_error(
            QStringLiteral("%1: too large for a package (more than %2 bytes)")
                .arg(*path)
                .arg(package_format::max_package_size));
        return package_exit::file_error;
    case image_file::read_status::open_failed:
    case image_file::read_status::read_failed:
        break;
    }
    standard_streams::print_error(
        QStringLiteral("%1: cannot read: %2").arg(*path, read.error_text));
    return package_exit::file_error;
}

// Header texts may hold anything: control characters are shown escaped, so
// that every field stays on its line and nothing reaches the terminal as a
// command.
QString printable(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            shown += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString text_field(const QString &text, quint32 length, quint32 slot)
{
    if (length > slot)
        return QStringLiteral("(length overruns its %1-byte slot)").arg(slot);
    return QLatin1Char('"') + printable(text) + QLatin1Char('"');
}

} // namespace

int run_inspect(const QStringList &arguments)
{
    QString path;
    QByteArray package;
    if (const int ended =
            read_package_argument(QStringLiteral("inspect"), arguments, &path, package))
        return ended == help_printed ? package_exit::ok : ended;
    const package_report report = read_package(package);
    if (report.failed == package_check::file_length) {
        standard_streams::print_error(
            QStringLiteral("%1: not a package: %2").arg(path, report.detail));
        return package_exit::check_failed;
    }

    using namespace package_format;
    const header_info_t &header = report.header;
    standard_streams::print_out(
        QStringLiteral("product_info_len: %1").arg(header.product_info_len));
    standard_streams::print_out(
        QStringLiteral("product_info: ") +
        text_field(header.product_info, header.product_info_len, product_info_slot));
    standard_streams::print_out(
        QStringLiteral("boot_version_len: %1").arg(header.boot_version_len));
    standard_streams::print_out(
        QStringLiteral("boot_version: ") +
        text_field(header.boot_version, header.boot_version_len, boot_version_slot));
    standard_streams::print_out(QStringLiteral("app_version_len: %1").arg(header.app_version_len));
    standard_streams::print_out(QStringLiteral("app_version: ") + text_field(header.app_version,
                                                                             header.app_version_len,
                                                                             app_version_slot));
    standard_streams::print_out(QStringLiteral("boot_upgrade_flag: ") +
                                flag_text(header.boot_upgrade_flag));
    standard_streams::print_out(QStringLiteral("app_upgrade_flag: ") +
                                flag_text(header.app_upgrade_flag));
    standard_streams::print_out(
        QStringLiteral("check_len: %1 (%2)").arg(header.check_len).arg(hex(header.check_len, 4)));
    standard_streams::print_out(QStringLiteral("boot_file_size: %1").arg(header.boot_file_size));
    standard_streams::print_out(QStringLiteral("app_file_size: %1").arg(header.app_file_size));
    standard_streams::print_out(QStringLiteral("header_marker: ") + hex(report.header_marker, 2));
    standard_streams::print_out(QStringLiteral("header_checksum: ") +
                                hex(report.stored_header_sum, 4));
    standard_streams::print_out(QStringLiteral("package_size: %1").arg(package.size()));
    return package_exit::ok;
}

int run_verify(const QStringList &arguments)
{
    QString path;
    QByteArray package;
    if (const int ended =
            read_package_argument(QStringLiteral("verify"), arguments, &path, package))
        return ended == help_printed ? package_exit::ok : ended;
    const package_report report = read_package(package);
    if (!report.ok()) {
        standard_streams::print_error(
            QStringLiteral("%1: %2 check failed: %3")
                .arg(path, package_check_name(report.failed), report.detail));
        return package_exit::check_failed;
    }
    standard_streams::print_out(QStringLiteral("%1: ok (%2 image bytes in %3 check blocks)")
                                    .arg(path)
                                    .arg(report.body_source_size)
                                    .arg(report.block_count));
    return package_exit::ok;
}
