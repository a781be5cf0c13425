#ifndef BIG_ENDIAN_H
#define BIG_ENDIAN_H

#include <QByteArray>

// The integers of the OTA frames and the package format: big-endian, written
// by explicit shifts whatever the host's byte order.
namespace big_endian {

inline QByteArray u32(quint32 value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

inline QByteArray u16(quint16 value)
{
    const char bytes[] = {char(value >> 8), char(value)};
    return QByteArray(bytes, 2);
}

} // namespace big_endian

#endif // BIG_ENDIAN_H
