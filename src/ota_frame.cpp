#include "ota_frame.h"

#include "big_endian.h"

namespace ota_frame {

namespace {

quint32 sum_of(const char *bytes, int count)
{
    quint32 sum = 0;
    for (int i = 0; i < count; ++i)
        sum += static_cast<quint8>(bytes[i]);
    return sum;
}

} // namespace

quint32 ba_sum(const QByteArray &bytes)
{
    return sum_of(bytes.constData(), bytes.size());
}

quint32 ba_to_u32(const QByteArray &bytes, bool *ok)
{
    const bool right_size = bytes.size() == 4;
    if (ok)
        *ok = right_size;
    if (!right_size)
        return 0;
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

quint16 ba_to_u16(const QByteArray &bytes)
{
    if (bytes.size() != 2)
        return 0;
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    return static_cast<quint16>((b[0] << 8) | b[1]);
}

namespace {

void append_header(QByteArray &frame, quint8 command, quint32 data_size)
{
    frame.append(head_first);
    frame.append(head_second);
    frame.append(static_cast<char>(frame_type));
    frame.append(static_cast<char>(command));
    frame.append(static_cast<char>((data_size >> 8) & 0xFF));
    frame.append(static_cast<char>(data_size & 0xFF));
}

void append_checksum_and_tail(QByteArray &frame)
{
    frame.append(static_cast<char>(sum_of(frame.constData(), frame.size()) & 0xFF));
    frame.append(tail_first);
    frame.append(tail_second);
}

} // namespace

QByteArray build_frame(quint8 command, const QByteArray &data)
{
    QByteArray frame;
    frame.reserve(data.size() + overhead);
    append_header(frame, command, static_cast<quint32>(data.size()));
    frame.append(data);
    append_checksum_and_tail(frame);
    return frame;
}

QByteArray build_start_frame(quint32 image_size)
{
    QByteArray frame;
    frame.reserve(4 + overhead);
    append_header(frame, command_start, 4);
    frame += big_endian::u32(image_size);
    append_checksum_and_tail(frame);
    return frame;
}

QByteArray build_data_frame(quint32 offset, const char *slice, quint32 length)
{
    Q_ASSERT(length <= max_slice_size);
    QByteArray frame;
    frame.reserve(static_cast<int>(length) + 4 + overhead);
    append_header(frame, command_data, length + 4);
    frame += big_endian::u32(offset);
    frame.append(slice, static_cast<int>(length));
    append_checksum_and_tail(frame);
    return frame;
}

QByteArray build_end_frame()
{
    return build_frame(command_end, QByteArray(1, static_cast<char>(status_ok)));
}

check_result check_received(const QByteArray &frame)
{
    const int size = frame.size();
    if (size < overhead || frame.at(0) != head_first || frame.at(1) != head_second ||
        frame.at(size - 2) != tail_first || frame.at(size - 1) != tail_second)
        return check_result::bad_head_or_tail;
    const quint8 checksum = static_cast<quint8>(frame.at(size - 3));
    if (checksum != (sum_of(frame.constData(), size - 3) & 0xFF))
        return check_result::bad_checksum;
    if (static_cast<quint8>(frame.at(2)) != frame_type)
        return check_result::bad_type;
    const quint8 command = command_of(frame);
    if (command != command_start && command != command_data && command != command_end)
        return check_result::bad_command;
    return check_result::accepted;
}

bool status_byte(const QByteArray &frame, quint8 *status)
{
    if (data_length(frame) < 1)
        return false;
    *status = static_cast<quint8>(frame.at(data_offset));
    return true;
}

QByteArray take_frame_by_length(QByteArray &stream)
{
    if (stream.size() < data_offset)
        return QByteArray();
    const int total = ba_to_u16(stream.mid(4, 2)) + overhead;
    if (stream.size() < total)
        return QByteArray();
    const QByteArray frame = stream.left(total);
    stream.remove(0, total);
    return frame;
}

} // namespace ota_frame
