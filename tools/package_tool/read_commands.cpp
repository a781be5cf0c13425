#include "read_commands.h"

#include "package_format.h"
#include "package_reader.h"
#include "tool_output.h"

#include <QFile>

namespace {

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

// The one positional argument of inspect and verify, read whole.
int read_package_argument(const QString &command, const QStringList &arguments, QByteArray &package)
{
    if (arguments.size() != 1 || arguments[0].startsWith(QLatin1Char('-'))) {
        print_error(QStringLiteral("usage: vantrel-package %1 PACKAGE").arg(command));
        return exit_usage;
    }
    QFile file(arguments[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        print_error(QStringLiteral("%1: cannot read: %2").arg(arguments[0], file.errorString()));
        return exit_file_error;
    }
    package = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        print_error(QStringLiteral("%1: cannot read: %2").arg(arguments[0], file.errorString()));
        return exit_file_error;
    }
    return exit_ok;
}

QString text_field(const QString &text, quint32 length, quint32 slot)
{
    if (length > slot)
        return QStringLiteral("(length overruns its %1-byte slot)").arg(slot);
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

int run_inspect(const QStringList &arguments)
{
    QByteArray package;
    if (const int failed = read_package_argument(QStringLiteral("inspect"), arguments, package))
        return failed;
    const package_report report = read_package(package);
    if (report.failed == package_check::file_length) {
        print_error(QStringLiteral("%1: not a package: %2").arg(arguments[0], report.detail));
        return exit_check_failed;
    }

    using namespace package_format;
    const header_info_t &header = report.header;
    print_out(QStringLiteral("product_info_len: %1").arg(header.product_info_len));
    print_out(QStringLiteral("product_info: ") +
              text_field(header.product_info, header.product_info_len, product_info_slot));
    print_out(QStringLiteral("boot_version_len: %1").arg(header.boot_version_len));
    print_out(QStringLiteral("boot_version: ") +
              text_field(header.boot_version, header.boot_version_len, boot_version_slot));
    print_out(QStringLiteral("app_version_len: %1").arg(header.app_version_len));
    print_out(QStringLiteral("app_version: ") +
              text_field(header.app_version, header.app_version_len, app_version_slot));
    print_out(QStringLiteral("boot_upgrade_flag: ") + flag_text(header.boot_upgrade_flag));
    print_out(QStringLiteral("app_upgrade_flag: ") + flag_text(header.app_upgrade_flag));
    print_out(
        QStringLiteral("check_len: %1 (%2)").arg(header.check_len).arg(hex(header.check_len, 4)));
    print_out(QStringLiteral("boot_file_size: %1").arg(header.boot_file_size));
    print_out(QStringLiteral("app_file_size: %1").arg(header.app_file_size));
    print_out(QStringLiteral("header_marker: ") + hex(report.header_marker, 2));
    print_out(QStringLiteral("header_checksum: ") + hex(report.stored_header_sum, 4));
    print_out(QStringLiteral("package_size: %1").arg(package.size()));
    return exit_ok;
}

int run_verify(const QStringList &arguments)
{
    QByteArray package;
    if (const int failed = read_package_argument(QStringLiteral("verify"), arguments, package))
        return failed;
    const package_report report = read_package(package);
    if (!report.ok()) {
        print_error(QStringLiteral("%1: %2 check failed: %3")
                        .arg(arguments[0], package_check_name(report.failed), report.detail));
        return exit_check_failed;
    }
    print_out(QStringLiteral("%1: ok (%2 image bytes in %3 check blocks)")
                  .arg(arguments[0])
                  .arg(report.body_source_size)
                  .arg(report.block_count));
    return exit_ok;
}
