#ifndef PACKAGE_READER_H
#define PACKAGE_READER_H

#include "header_info.h"

#include <QByteArray>
#include <QString>

// The checks a package goes through, in the order they are made.
enum class package_check
{
    none,
    file_length,      // shorter than a header, an empty block and the package sum
    header_marker,    // byte 1021 is not 0x55
    header_checksum,  // bytes 1022..1023 are not the sum of bytes 0..1021
    header_fields,    // a flag, the check length or a text length is impossible
    header_fill,      // a byte that no field covers is not 0xFF
    body_length,      // the body does not hold what the header's sizes and flags say
    block_checksum,   // a check block's sum is wrong
    package_checksum, // the last two bytes are not the sum of everything before
};

// Short English name of a check, as the command line prints it.
QString package_check_name(package_check check);

struct package_report
{
    package_check failed = package_check::none;
    // Which block failed (counted from 0), when a block checksum did.
    qint64 failed_block = -1;
    QString detail;

    header_info_t header;
    quint8 header_marker = 0;
    quint16 stored_header_sum = 0;
    quint16 stored_package_sum = 0;
    // What the flags and sizes say the body carries, and how it is cut.
    qint64 body_source_size = 0;
    qint64 block_count = 0;

    bool ok() const { return failed == package_check::none; }
};

// Parses a package and runs every check, stopping at the first that fails.
// Header fields are filled in whenever the file holds a whole header.
package_report read_package(const QByteArray &package);

#endif // PACKAGE_READER_H
