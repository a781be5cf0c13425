// Feeds arbitrary chunk sequences through the receive path and the checks
// on every frame it hands on. Input: records of one length byte followed by
// that many bytes (a length of 0 is an empty read).
#include "frame_extractor.h"
#include "ota_frame.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        abort();
}

void handle(const QByteArray &frame)
{
    // What the receive path promises about every frame it hands on.
    require(frame.size() >= ota_frame::overhead);
    require(frame.startsWith("QZ") && frame.endsWith("TC"));
    require(frame.size() == ota_frame::ba_to_u16(frame.mid(4, 2)) + ota_frame::overhead);

    if (ota_frame::check_received(frame) != ota_frame::check_result::accepted)
        return;
    quint8 status = 0;
    ota_frame::status_byte(frame, &status);
    const int size_bytes = qMin(4, ota_frame::data_length(frame));
    bool ok = false;
    ota_frame::ba_to_u32(frame.mid(ota_frame::data_offset, size_bytes), &ok);
    require(ok == (size_bytes == 4));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray buffer;
    size_t at = 0;
    while (at < size) {
        const size_t length = qMin<size_t>(data[at], size - at - 1);
        const QByteArray chunk(reinterpret_cast<const char *>(data + at + 1), int(length));
        at += 1 + length;

        buffer.append(chunk);
        if (chunk.isEmpty())
            continue;
        frame_extractor::trim(buffer);
        const frame_extractor::search_result found = frame_extractor::take_frame(buffer);
        if (!found.frame.isEmpty())
            handle(found.frame);
        require(!found.frame.isEmpty() ? found.fragment_cut : true);
        // Chunks of at most 255 bytes never leave more than the threshold.
        require(buffer.size() <= frame_extractor::trim_threshold);
    }
    return 0;
}
