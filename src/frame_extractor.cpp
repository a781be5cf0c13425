#include "frame_extractor.h"

#include "ota_frame.h"

Q_LOGGING_CATEGORY(receive_log, "vantrel.receive")

namespace frame_extractor {

namespace {

const QByteArray head_marker("QZ");
const QByteArray tail_marker("TC");

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex(' ').toUpper();
}

// Examines a fragment that runs from a head marker to the first tail marker.
// Each pass drops at least the first head marker or ends, so it terminates.
QByteArray frame_in_fragment(QByteArray fragment)
{
    for (;;) {
        qCDebug(receive_log).noquote() << "fragment_ba" << hex(fragment);
        const int h = fragment.indexOf(head_marker);
        if (h < 0 || fragment.indexOf(tail_marker) < 0)
            return QByteArray();
        if (fragment.size() <= 8) {
            fragment.remove(0, h + 2);
            continue;
        }
        const quint16 length = ota_frame::ba_to_u16(fragment.mid(h + 4, 2));
        if (fragment.size() - h != int(length) + ota_frame::overhead) {
            fragment.remove(0, h + 2);
            continue;
        }
        const QByteArray frame = fragment.mid(h);
        qCDebug(receive_log).noquote() << "找到合适的帧";
        qCDebug(receive_log).noquote() << "frame_ba" << hex(frame);
        return frame;
    }
}

} // namespace

void trim(QByteArray &buffer)
{
    if (buffer.size() > trim_threshold)
        buffer.remove(0, qMax(trim_amount, buffer.size() - trim_threshold));
}

search_result take_frame(QByteArray &buffer)
{
    search_result result;
    const int head = buffer.indexOf(head_marker);
    const int tail = buffer.indexOf(tail_marker);
    qCDebug(receive_log).noquote() << "usart_ba" << hex(buffer);
    if (head < 0 || tail < 0)
        return result;
    if (head > tail) {
        // A stray tail: drop it and what precedes it; a frame behind it waits
        // for the next chunk.
        buffer.remove(0, tail + 2);
        return result;
    }
    QByteArray fragment = buffer.mid(head, tail + 2 - head);
    buffer.remove(0, tail + 2);
    result.fragment_cut = true;
    result.frame = frame_in_fragment(std::move(fragment));
    return result;
}

void log_remaining(const QByteArray &buffer, const search_result &result)
{
    if (result.fragment_cut)
        qCDebug(receive_log).noquote() << "usart_ba" << hex(buffer);
}

bool may_hold_frame(const QByteArray &buffer)
{
    return buffer.contains("QZ") && buffer.contains("TC");
}

} // namespace frame_extractor
