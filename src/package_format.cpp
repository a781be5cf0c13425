#include "package_format.h"

namespace package_format {

quint16 byte_sum(const char *data, qint64 size)
{
    // Unsigned wrap-around keeps the low 16 bits exact, so no truncation is
    // needed inside the loop (which lets the compiler vectorise it).
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    quint32 total = 0;
    for (qint64 i = 0; i < size; ++i)
        total += bytes[i];
    return static_cast<quint16>(total);
}

int first_unstorable(const QString &text)
{
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i).unicode() > 0xFF)
            return i;
    return -1;
}

quint32 be_to_u32(const char *data)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 |
           quint32(bytes[3]);
}

quint16 be_to_u16(const char *data)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    return quint16(bytes[0] << 8 | bytes[1]);
}

} // namespace package_format
