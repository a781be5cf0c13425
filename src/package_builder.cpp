#include "package_builder.h"

#include "check_length.h"
#include "package_format.h"

#include <QDebug>
#include <cstring>

using namespace package_format;

namespace {

bool text_fits(const QString &text, quint32 length_field, quint32 slot)
{
    return quint32(text.size()) == length_field && quint32(text.size()) <= slot;
}

} // namespace

void package_builder::reset()
{
    new_bin_is_write_addr = 0;
    check_block_count = 0;
}

bool package_builder::write_at_offset(quint32 offset_addr, const QByteArray &bytes,
                                      QByteArray &package)
{
    if (offset_addr < new_bin_is_write_addr) {
        qDebug().noquote() << "offset_addr = " + QString::number(offset_addr);
        qDebug().noquote() << "new_bin_is_write_addr = " + QString::number(new_bin_is_write_addr);
        qDebug().noquote() << "offset_addr < new_bin_is_write_addr";
        return false;
    }
    if (offset_addr > new_bin_is_write_addr)
        package.append(int(offset_addr - new_bin_is_write_addr), fill_byte);
    package.append(bytes);
    new_bin_is_write_addr = offset_addr + quint32(bytes.size());
    return true;
}

bool package_builder::build_header(const header_info_t &header, QByteArray &package)
{
    if (new_bin_is_write_addr != 0 || !package.isEmpty())
        return false;
    if (!text_fits(header.product_info, header.product_info_len, product_info_slot) ||
        !text_fits(header.boot_version, header.boot_version_len, boot_version_slot) ||
        !text_fits(header.app_version, header.app_version_len, app_version_slot))
        return false;

    write_at_offset(product_info_len_offset, u32_to_be(header.product_info_len), package);
    write_at_offset(product_info_offset, header.product_info.toLatin1(), package);
    write_at_offset(boot_version_len_offset, u16_to_be(header.boot_version_len), package);
    write_at_offset(boot_version_offset, header.boot_version.toLatin1(), package);
    write_at_offset(app_version_len_offset, u16_to_be(header.app_version_len), package);
    write_at_offset(app_version_offset, header.app_version.toLatin1(), package);
    write_at_offset(boot_upgrade_flag_offset, u32_to_be(header.boot_upgrade_flag), package);
    write_at_offset(app_upgrade_flag_offset, u32_to_be(header.app_upgrade_flag), package);
    write_at_offset(check_len_offset, u32_to_be(header.check_len), package);
    write_at_offset(boot_file_size_offset, u32_to_be(header.boot_file_size), package);
    write_at_offset(app_file_size_offset, u32_to_be(header.app_file_size), package);
    write_at_offset(header_marker_offset, QByteArray(1, header_marker), package);
    write_at_offset(header_sum_offset, u16_to_be(byte_sum(package)), package);
    return true;
}

bool package_builder::write_check_block(const QByteArray &source, quint32 &pos, quint32 base,
                                        quint32 check_len, QByteArray &package)
{
    const qint64 source_size = source.size();
    const bool last = qint64(pos) + check_len > source_size;
    const quint32 count = last ? quint32(source_size - pos) : check_len;
    const char *block = source.constData() + pos;
    const quint16 sum = byte_sum(block, count);
    const quint32 target = base + 2 * check_block_count + pos;

    if (target == new_bin_is_write_addr) {
        // The usual case: straight onto the end, without a temporary block.
        const int old_size = package.size();
        package.resize(old_size + int(count) + 2);
        char *out = package.data() + old_size;
        std::memcpy(out, block, count);
        out[count] = char(sum >> 8);
        out[count + 1] = char(sum);
        new_bin_is_write_addr = target + count + 2;
    } else {
        write_at_offset(target, QByteArray(block, int(count)) + u16_to_be(sum), package);
    }

    if (!last)
        pos += check_len;
    ++check_block_count;
    return last;
}

bool package_builder::build_body(const QByteArray &source, quint32 check_len, QByteArray &package)
{
    if (!check_length::is_usable(check_len))
        return false;
    if (new_bin_is_write_addr != header_size || package.size() != int(header_size))
        return false;
    const qint64 total = package_size(source.size(), check_len);
    if (total > max_package_size)
        return false;

    package.reserve(int(total));
    check_block_count = 0;
    quint32 pos = 0;
    while (!write_check_block(source, pos, header_size, check_len, package)) {
    }
    return true;
}

void package_builder::append_package_sum(QByteArray &package)
{
    package.append(u16_to_be(byte_sum(package)));
}

QByteArray make_body_source(header_info_t &header, const QByteArray &boot_image,
                            const QByteArray &app_image)
{
    QByteArray source;
    if (header.boot_upgrade_flag == upgrade_flag_yes) {
        header.boot_file_size = quint32(boot_image.size());
        source.append(boot_image);
    }
    if (header.app_upgrade_flag == upgrade_flag_yes) {
        header.app_file_size = quint32(app_image.size());
        source.append(app_image);
    }
    return source;
}

build_status build_package(const header_info_t &header, const QByteArray &source,
                           QByteArray &package)
{
    package.clear();
    if (!check_length::is_usable(header.check_len))
        return build_status::check_len_zero;
    package_builder builder;
    if (!builder.build_header(header, package))
        return build_status::header_refused;
    if (!builder.build_body(source, header.check_len, package)) {
        package.clear();
        return build_status::too_large;
    }
    package_builder::append_package_sum(package);
    return build_status::ok;
}
