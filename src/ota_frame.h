#ifndef OTA_FRAME_H
#define OTA_FRAME_H

#include <QByteArray>

// The OTA frames exchanged with the device:
// "QZ", type 0x03, command, length L (16 bits, big-endian), L data bytes,
// 8-bit sum of everything before it, "TC". A frame is L + 9 bytes long.
namespace ota_frame {

inline constexpr char head_first = 0x51;  // 'Q'
inline constexpr char head_second = 0x5A; // 'Z'
inline constexpr char tail_first = 0x54;  // 'T'
inline constexpr char tail_second = 0x43; // 'C'
inline constexpr quint8 frame_type = 0x03;
inline constexpr quint8 command_start = 0x01;
inline constexpr quint8 command_data = 0x02;
inline constexpr quint8 command_end = 0x03;
inline constexpr quint8 status_ok = 0x01;
// Bytes around the data: head 2, type, command, length 2, checksum, tail 2.
inline constexpr int overhead = 9;
// Offset of the first data byte in a frame.
inline constexpr int data_offset = 6;
// A data frame's length field also holds the 4-byte offset.
inline constexpr quint32 max_slice_size = 0xFFFF - 4;

// Sum of all bytes taken as unsigned values (0 for none); the frame checksum
// is its low 8 bits.
quint32 ba_sum(const QByteArray &bytes);
// Exactly 4 bytes read big-endian; any other size gives 0 and *ok false.
quint32 ba_to_u32(const QByteArray &bytes, bool *ok = nullptr);
// Exactly 2 bytes read big-endian; any other size gives 0.
quint16 ba_to_u16(const QByteArray &bytes);

QByteArray build_frame(quint8 command, const QByteArray &data);
QByteArray build_start_frame(quint32 image_size);
// One slice of the image: the offset, then `length` bytes from it. The
// slice must lie inside the image and hold at most max_slice_size bytes.
QByteArray build_data_frame(quint32 offset, const char *slice, quint32 length);
QByteArray build_end_frame();

// The checks a received frame goes through, in this order; the first
// that fails decides.
enum class check_result
{
    accepted,
    bad_head_or_tail, // also a frame too short to hold head, header and tail
    bad_checksum,
    bad_type,
    bad_command,
};
check_result check_received(const QByteArray &frame);

inline quint8 command_of(const QByteArray &frame)
{
    return static_cast<quint8>(frame.at(3));
}
// Number of data bytes, as the frame's size gives it.
inline int data_length(const QByteArray &frame)
{
    return frame.size() - overhead;
}
// Takes the frame at the start of `stream` off it when its length field says
// the whole frame is there; otherwise leaves `stream` as it is and returns
// an empty array. For readers of the tool's own output, which starts each
// frame with its head.
QByteArray take_frame_by_length(QByteArray &stream);

// Data byte 0 of an acknowledgement or end response; false when the frame
// carries no data byte at all.
bool status_byte(const QByteArray &frame, quint8 *status);

} // namespace ota_frame

#endif // OTA_FRAME_H
