// Drives an OTA session as the window does, with an image and a random
// sequence of device frames, double presses and cancels. Whatever comes,
// data frames stay inside the image, follow each other without gap or
// overlap, and nothing goes out once an upgrade has ended; UBSan watches
// every division. Input: two bytes of image size, then one byte per step
// (and the bytes a step takes).
#include "ota_frame.h"
#include "ota_session.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        abort();
}

struct input
{
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    quint32 take(int bytes)
    {
        quint32 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | (at < size ? data[at++] : 0);
        return value;
    }
};

struct window
{
    ota_session session;
    bool ended = true; // nothing may go out until a start response begins a transfer
    quint32 next_offset = 0;

    void sent(const QByteArray &frame)
    {
        require(!ended || frame.isEmpty());
        if (frame.isEmpty() || ota_frame::command_of(frame) != ota_frame::command_data)
            return;
        require(ota_frame::check_received(frame) == ota_frame::check_result::accepted);
        const quint32 offset = ota_frame::ba_to_u32(frame.mid(ota_frame::data_offset, 4));
        const int length = ota_frame::data_length(frame) - 4;
        require(offset == next_offset);
        require(qint64(offset) + length <= session.image().size());
        require(frame.mid(ota_frame::data_offset + 4, length) ==
                session.image().mid(int(offset), length));
        next_offset += quint32(length);
    }
    void react(const ota_session::reaction &reaction)
    {
        if (reaction.what == ota_session::action::begin_transfer) {
            ended = false;
            next_offset = 0;
        }
        if (reaction.what == ota_session::action::begin_transfer ||
            reaction.what == ota_session::action::send_next)
            sent(session.next_frame());
        require(session.progress() >= 0 && session.progress() <= 100);
        if (reaction.ends_upgrade || reaction.what == ota_session::action::succeeded)
            ended = true;
        if (reaction.ends_upgrade)
            session.end_upgrade(reaction.upgrade);
        if (ended)
            sent(session.next_frame()); // as a late acknowledgement would ask
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input in{data, size};
    window w;
    QByteArray image(int(in.take(2)) * 2, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + i / 251);
    w.session.load_image(image);
    while (in.more()) {
        const quint32 step = in.take(1);
        QByteArray data_bytes;
        switch (step % 8) {
        case 0: // a double press: a start request, or a cancel
            if (w.session.is_ota_running()) {
                w.session.stop();
                w.ended = true;
            } else {
                w.session.start_request();
            }
            continue;
        case 1: // a new file chosen
            w.session.load_image(image.left(int(in.take(2))));
            w.ended = true;
            continue;
        case 2: // a start response with a slice size of 1, 2 or 4 bytes
            data_bytes = ota_frame::build_start_frame(in.take(4)).mid(6, 4);
            data_bytes = data_bytes.right(step & 0x20 ? 1 : step & 0x40 ? 2 : 4);
            break;
        case 3:
        case 4: // an acknowledgement, mostly good
            data_bytes = QByteArray(1, char(step & 0x70 ? ota_frame::status_ok : in.take(1)));
            break;
        case 5: // an end response
            data_bytes = QByteArray(1, char(step & 0x10 ? ota_frame::status_ok : in.take(1)));
            break;
        case 6: // the port lost
            w.session.stop();
            w.ended = true;
            continue;
        default: // any bytes between head and tail
            data_bytes = QByteArray(int(in.take(1) % 16), char(in.take(1)));
        }
        const quint8 command = step % 8 == 2   ? ota_frame::command_start
                               : step % 8 == 5 ? ota_frame::command_end
                               : step % 8 == 7 ? quint8(step >> 3)
                                               : ota_frame::command_data;
        w.react(w.session.handle_frame(ota_frame::build_frame(command, data_bytes)));
    }
    return 0;
}
