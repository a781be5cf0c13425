// Feeds arbitrary chunk sequences through the receive path and the checks on every frame it
// hands on. Input: records of one length byte followed by that many bytes (a length of 0 is an
// empty read).
#include "frame_extractor.h"
#include "ota_frame.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

#define REQUIRE(condition) ((condition) ? void() : abort())

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray buffer;
    for (size_t at = 0; at < size;) {
        const size_t length = qMin<size_t>(data[at], size - at - 1);
        buffer.append(reinterpret_cast<const char *>(data + at + 1), int(length));
        at += 1 + length;
        if (length == 0)
            continue;
        frame_extractor::trim(buffer);
        const frame_extractor::search_result found = frame_extractor::take_frame(buffer);
        const QByteArray &frame = found.frame;
        REQUIRE(frame.isEmpty() || found.fragment_cut);
        // Chunks of at most 255 bytes never leave more than the threshold.
        REQUIRE(buffer.size() <= frame_extractor::trim_threshold);
        if (frame.isEmpty())
            continue;
        // What the receive path promises about every frame it hands on.
        REQUIRE(frame.size() >= ota_frame::overhead);
        REQUIRE(frame.startsWith("QZ") && frame.endsWith("TC"));
        REQUIRE(frame.size() == ota_frame::ba_to_u16(frame.mid(4, 2)) + ota_frame::overhead);
        if (ota_frame::check_received(frame) != ota_frame::check_result::accepted)
            continue;
        quint8 status = 0;
        ota_frame::status_byte(frame, &status);
        const int size_bytes = qMin(4, ota_frame::data_length(frame));
        bool ok = false;
        ota_frame::ba_to_u32(frame.mid(ota_frame::data_offset, size_bytes), &ok);
        REQUIRE(ok == (size_bytes == 4));
    }
    return 0;
}
