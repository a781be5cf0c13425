#ifndef PACKAGE_FORMAT_H
#define PACKAGE_FORMAT_H

#include "big_endian.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Layout of an upgrade package: a 1024-byte header, the selected images cut
// into check blocks (each followed by its 2-byte sum), then a 2-byte sum of
// everything before it. Integers are big-endian, unused bytes are 0xFF.
namespace package_format {

constexpr quint32 header_size = 1024;
constexpr char fill_byte = char(0xFF);
constexpr char header_marker = 0x55;

constexpr quint32 product_info_len_offset = 0;
constexpr quint32 product_info_offset = 4;
constexpr quint32 product_info_slot = 60;
constexpr quint32 boot_version_len_offset = 64;
constexpr quint32 boot_version_offset = 66;
constexpr quint32 boot_version_slot = 30;
constexpr quint32 app_version_len_offset = 96;
constexpr quint32 app_version_offset = 98;
constexpr quint32 app_version_slot = 38;
constexpr quint32 boot_upgrade_flag_offset = 136;
constexpr quint32 app_upgrade_flag_offset = 140;
constexpr quint32 check_len_offset = 144;
constexpr quint32 boot_file_size_offset = 1008;
constexpr quint32 app_file_size_offset = 1016;
constexpr quint32 header_marker_offset = 1021;
constexpr quint32 header_sum_offset = 1022;

constexpr quint32 block_sum_size = 2;
constexpr quint32 package_sum_size = 2;

// The largest package kept in one byte array, with room to spare.
constexpr qint64 max_package_size = 0x7FFF0000;

// Plain sum of the bytes as unsigned values, low 16 bits.
quint16 byte_sum(const char *data, qint64 size);
inline quint16 byte_sum(const QByteArray &bytes)
{
    return byte_sum(bytes.constData(), bytes.size());
}

// Header texts are written one byte per UTF-16 unit (Latin-1): the position
// of the first unit that byte cannot hold, or -1 when the text fits.
int first_unstorable(const QString &text);

quint32 be_to_u32(const char *data);
quint16 be_to_u16(const char *data);

// Number of check blocks for a body source of `source_size` bytes: one more
// than the full blocks, as the last (possibly empty) block is always written.
inline qint64 block_count(qint64 source_size, quint32 check_len)
{
    return source_size / check_len + 1;
}

inline qint64 package_size(qint64 source_size, quint32 check_len)
{
    return header_size + source_size + block_sum_size * block_count(source_size, check_len) +
           package_sum_size;
}

} // namespace package_format

#endif // PACKAGE_FORMAT_H
