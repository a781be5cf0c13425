#include "package_reader.h"

#include "package_format.h"

using namespace package_format;

namespace {

bool is_flag(quint32 value)
{
    return value == upgrade_flag_yes || value == upgrade_flag_no;
}

// The byte ranges of the header that no field covers, given the text lengths.
struct fill_range
{
    quint32 from;
    quint32 to; // one past the end
};

QString hex16(quint16 value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

bool read_header(const QByteArray &package, package_report &report)
{
    const char *data = package.constData();
    header_info_t &header = report.header;
    header.product_info_len = be_to_u32(data + product_info_len_offset);
    header.boot_version_len = be_to_u16(data + boot_version_len_offset);
    header.app_version_len = be_to_u16(data + app_version_len_offset);
    header.boot_upgrade_flag = be_to_u32(data + boot_upgrade_flag_offset);
    header.app_upgrade_flag = be_to_u32(data + app_upgrade_flag_offset);
    header.check_len = be_to_u32(data + check_len_offset);
    header.boot_file_size = be_to_u32(data + boot_file_size_offset);
    header.app_file_size = be_to_u32(data + app_file_size_offset);
    report.header_marker = quint8(data[header_marker_offset]);
    report.stored_header_sum = be_to_u16(data + header_sum_offset);

    // Each text whose length fits its slot is read, whatever the others say.
    const auto text = [data](quint32 offset, quint32 length, quint32 slot) {
        return length <= slot ? QString::fromLatin1(data + offset, int(length)) : QString();
    };
    header.product_info = text(product_info_offset, header.product_info_len, product_info_slot);
    header.boot_version = text(boot_version_offset, header.boot_version_len, boot_version_slot);
    header.app_version = text(app_version_offset, header.app_version_len, app_version_slot);
    return header.product_info_len <= product_info_slot &&
           header.boot_version_len <= boot_version_slot &&
           header.app_version_len <= app_version_slot;
}

bool fill_is_intact(const QByteArray &package, const header_info_t &header, QString *where)
{
    const fill_range ranges[] = {
        {product_info_offset + header.product_info_len, boot_version_len_offset},
        {boot_version_offset + header.boot_version_len, app_version_len_offset},
        {app_version_offset + header.app_version_len, boot_upgrade_flag_offset},
        {check_len_offset + 4, boot_file_size_offset},
        {boot_file_size_offset + 4, app_file_size_offset},
        {app_file_size_offset + 4, header_marker_offset},
    };
    for (const fill_range &range : ranges) {
        for (quint32 at = range.from; at < range.to; ++at) {
            if (package[int(at)] != fill_byte) {
                *where = QStringLiteral("byte %1 is 0x%2, not 0xff")
                             .arg(at)
                             .arg(quint8(package[int(at)]), 2, 16, QLatin1Char('0'));
                return false;
            }
        }
    }
    return true;
}

package_report fail(package_report report, package_check check, const QString &detail)
{
    report.failed = check;
    report.detail = detail;
    return report;
}

} // namespace

QString package_check_name(package_check check)
{
    switch (check) {
    case package_check::none:
        return QStringLiteral("none");
    case package_check::file_length:
        return QStringLiteral("file length");
    case package_check::header_marker:
        return QStringLiteral("header marker");
    case package_check::header_checksum:
        return QStringLiteral("header checksum");
    case package_check::header_fields:
        return QStringLiteral("header fields");
    case package_check::header_fill:
        return QStringLiteral("header fill");
    case package_check::body_length:
        return QStringLiteral("body length");
    case package_check::block_checksum:
        return QStringLiteral("check block checksum");
    case package_check::package_checksum:
        return QStringLiteral("package checksum");
    }
    return QString();
}

package_report read_package(const QByteArray &package)
{
    package_report report;
    const qint64 size = package.size();
    const qint64 smallest = header_size + block_sum_size + package_sum_size;
    if (size < smallest) {
        return fail(report, package_check::file_length,
                    QStringLiteral("%1 bytes, a package has at least %2").arg(size).arg(smallest));
    }

    const bool lengths_fit = read_header(package, report);
    if (report.header_marker != quint8(header_marker)) {
        return fail(report, package_check::header_marker,
                    QStringLiteral("byte %1 is 0x%2, not 0x55")
                        .arg(header_marker_offset)
                        .arg(report.header_marker, 2, 16, QLatin1Char('0')));
    }
    const quint16 header_sum = byte_sum(package.constData(), header_sum_offset);
    if (header_sum != report.stored_header_sum) {
        return fail(report, package_check::header_checksum,
                    QStringLiteral("stored %1, computed %2")
                        .arg(hex16(report.stored_header_sum), hex16(header_sum)));
    }

    const header_info_t &header = report.header;
    if (!lengths_fit)
        return fail(report, package_check::header_fields,
                    QStringLiteral("a text overruns its slot"));
    if (!is_flag(header.boot_upgrade_flag) || !is_flag(header.app_upgrade_flag))
        return fail(report, package_check::header_fields, QStringLiteral("unknown upgrade flag"));
    if (header.check_len == 0)
        return fail(report, package_check::header_fields, QStringLiteral("check length is 0"));

    QString where;
    if (!fill_is_intact(package, header, &where))
        return fail(report, package_check::header_fill, where);

    if (header.boot_upgrade_flag == upgrade_flag_yes)
        report.body_source_size += header.boot_file_size;
    if (header.app_upgrade_flag == upgrade_flag_yes)
        report.body_source_size += header.app_file_size;
    report.block_count = block_count(report.body_source_size, header.check_len);
    const qint64 expected = package_size(report.body_source_size, header.check_len);
    if (size != expected) {
        return fail(
            report, package_check::body_length,
            QStringLiteral("file is %1 bytes, the header describes %2").arg(size).arg(expected));
    }

    const char *data = package.constData();
    qint64 at = header_size;
    qint64 remaining = report.body_source_size;
    for (qint64 block = 0; block < report.block_count; ++block) {
        const qint64 count = qMin<qint64>(remaining, header.check_len);
        const quint16 sum = byte_sum(data + at, count);
        const quint16 stored = be_to_u16(data + at + count);
        if (sum != stored) {
            report.failed_block = block;
            return fail(report, package_check::block_checksum,
                        QStringLiteral("block %1 at offset %2: stored %3, computed %4")
                            .arg(block)
                            .arg(at)
                            .arg(hex16(stored), hex16(sum)));
        }
        at += count + block_sum_size;
        remaining -= count;
    }

    report.stored_package_sum = be_to_u16(data + size - package_sum_size);
    const quint16 package_sum = byte_sum(data, size - package_sum_size);
    if (package_sum != report.stored_package_sum) {
        return fail(report, package_check::package_checksum,
                    QStringLiteral("stored %1, computed %2")
                        .arg(hex16(report.stored_package_sum), hex16(package_sum)));
    }
    return report;
}
