#ifndef PACKAGE_BUILDER_H
#define PACKAGE_BUILDER_H

#include "header_info.h"

#include <QByteArray>

// Assembles an upgrade package in memory. The package only ever grows at its
// end: `new_bin_is_write_addr` is its length so far and every field names
// the absolute offset it belongs at.
class package_builder
{
public:
    quint32 new_bin_is_write_addr = 0;
    quint32 check_block_count = 0;
    // Sum of every byte written so far (its low 16 bits are the package sum).
    quint32 package_sum_so_far = 0;

    void reset();

    // Puts the bytes at `offset_addr`, with 0xFF fill before them; an offset
    // below the write position would overwrite, so it is refused (false).
    bool write_at_offset(quint32 offset_addr, const QByteArray &bytes, QByteArray &package);

    // The 1024-byte header. Refuses (false, nothing written) a text longer
    // than its slot, with a character Latin-1 cannot hold, or whose length
    // field disagrees with it, and a package that is not empty.
    bool build_header(const header_info_t &header, QByteArray &package);

    // All check blocks of the body source behind a complete header: blocks
    // of `check_len` source bytes, each followed by its sum, the last one
    // holding what is left (nothing, when check_len divides the source).
    // Refuses (false, nothing written) a check length of 0, a package
    // without its header, and a package too large to hold in memory.
    bool build_body(const QByteArray &source, quint32 check_len, QByteArray &package);

    // Appends the sum of everything written so far, big-endian.
    void append_package_sum(QByteArray &package);
};

// A header text that cannot be written as given: longer than its slot, or
// holding a character the header's one byte per character (Latin-1) cannot
// carry, at `at`. The window and vantrel-package say so in their own words.
struct header_text_problem
{
    enum class text
    {
        product_info,
        boot_version,
        app_version
    };
    text which = text::product_info;
    bool too_long = false;
    int length = 0;
    quint32 slot = 0;
    int at = -1;
    QChar character;
};
// The first text of `header` that cannot be written as given; false when
// all of them can.
bool find_header_text_problem(const header_info_t &header, header_text_problem *problem);

enum class build_status
{
    ok,
    check_len_zero,
    header_refused,
    too_large
};

// The whole package from a header and a body source, or why not.
build_status build_package(const header_info_t &header, const QByteArray &source,
                           QByteArray &package);

#endif // PACKAGE_BUILDER_H
