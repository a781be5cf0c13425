// Drives an OTA session as the window does: an image, and a random sequence of double presses,
// cancels, new files, device frames, noise and bursts of many KB, every byte through the receive
// path's frame extraction; now and then a frame cannot be sent (the port closed). Whatever
// comes, the receive buffer stays within its bound, the receive path hands on only whole frames,
// data frames stay inside the image and follow each other without gap or overlap (also past a
// frame that was not sent), and nothing goes out once an upgrade has ended; UBSan watches every
// division. Input: two bytes of image size, then one
// byte per step (and the bytes a step takes).
#include "frame_extractor.h"
#include "ota_frame.h"
#include "ota_session.h"
#include <cstdint>
#include <cstdlib>

#define REQUIRE(condition) ((condition) ? void() : abort())

using namespace ota_frame;
using act = ota_session::outcome;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t at = 0;
    const auto take = [&](int bytes) {
        quint32 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | (at < size ? data[at++] : 0);
        return value;
    };
    ota_session session;
    bool ended = true; // nothing may go out until a start response begins a transfer
    quint32 next_offset = 0;
    bool port_open = true;
    const auto sent = [&](const QByteArray &frame) {
        REQUIRE(!ended || frame.isEmpty());
        if (frame.isEmpty() || !port_open)
            return;
        session.frame_sent();
        if (command_of(frame) != command_data)
            return;
        REQUIRE(check_received(frame) == check_result::accepted);
        const quint32 offset = ba_to_u32(frame.mid(data_offset, 4));
        const int length = data_length(frame) - 4;
        REQUIRE(offset == next_offset);
        REQUIRE(qint64(offset) + length <= session.image().size());
        REQUIRE(frame.mid(data_offset + 4, length) == session.image().mid(int(offset), length));
        next_offset += quint32(length);
    };
    QByteArray received; // the receive path's buffer
    const auto take_frame = [&] {
        const QByteArray frame = frame_extractor::take_frame(received).frame;
        if (frame.isEmpty())
            return;
        REQUIRE(frame.size() == ba_to_u16(frame.mid(4, 2)) + overhead);
        REQUIRE(frame.startsWith("QZ") && frame.endsWith("TC"));
        const ota_session::reaction reaction = session.handle_frame(frame);
        if (reaction.what == act::transfer_begun)
            ended = false, next_offset = 0;
        if (reaction.what == act::transfer_begun || reaction.what == act::send_next)
            sent(session.next_frame());
        REQUIRE(session.progress() >= 0 && session.progress() <= 100);
        // Only an upgrade that ended or stalled says why.
        const bool stopped = reaction.what == act::refused || reaction.what == act::stalled;
        REQUIRE(stopped == (reaction.why != ota_session::reason::none));
        ended = ended || stopped || reaction.what == act::succeeded;
        if (reaction.what == act::refused)
            session.end_upgrade(reaction.upgrade);
        if (ended)
            sent(session.next_frame()); // as a late acknowledgement would ask
    };
    QByteArray image(int(take(2)) * 2, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + i / 251);
    session.load_image(image);
    const int slice_bytes[] = {4, 1, 2, 1}; // by bits 5 and 6 of a step
    const quint8 commands[] = {0, 0, command_start, command_data, command_data, command_end};
    while (at < size) {
        const quint32 step = take(1), kind = step % 8;
        port_open = (step & 0x18) != 0x18;
        QByteArray bytes;
        if (kind == 0 && !session.is_ota_running()) { // a double press: a start request...
            session.start_request();
            continue;
        }
        if (kind == 0 || kind == 1 || kind == 6) { // ... or a cancel; a new file; the port lost
            kind == 1 ? session.load_image(image.left(int(take(2)))) : session.stop();
            ended = true;
            continue;
        }
        if (kind == 2) // a start response with a slice size of 1, 2 or 4 bytes
            bytes = build_start_frame(take(4)).mid(6, 4).right(slice_bytes[(step >> 5) & 3]);
        else if (kind == 3 || kind == 4) // an acknowledgement, mostly good
            bytes = QByteArray(1, char(step & 0x70 ? status_ok : take(1)));
        else if (kind == 5) // an end response
            bytes = QByteArray(1, char(step & 0x10 ? status_ok : take(1)));
        else if (step & 0x80) // noise, maybe pieces of frames, or a burst of many KB
            bytes = QByteArray(int(step >> 3 & 0x0F) << (step & 0x40 ? 10 : 0), char(take(1)));
        else // a frame of any command with any bytes
            bytes = QByteArray(int(take(1) % 16), char(take(1)));
        const quint8 command = kind == 7 ? quint8(step >> 3 & 0x0F) : commands[kind];
        // One read, as read_data takes it: trimmed, one frame, then every further one.
        received += kind == 7 && step & 0x80 ? bytes : build_frame(command, bytes);
        frame_extractor::trim(received);
        REQUIRE(received.size() <= frame_extractor::trim_threshold);
        do
            take_frame();
        while (frame_extractor::may_hold_frame(received));
    }
    return 0;
}
