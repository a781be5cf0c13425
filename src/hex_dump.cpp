#include "hex_dump.h"

QString hex_dump_text(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    const int count = bytes.size();
    // Each byte takes two digits and at most two separator characters.
    QString text(count * 4, Qt::Uninitialized);
    QChar *out = text.data();
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (int i = 0; i < count; ++i) {
        *out++ = QLatin1Char(digits[in[i] >> 4]);
        *out++ = QLatin1Char(digits[in[i] & 0x0F]);
        const int position = i + 1;
        const bool last = position == count;
        if (position % 2048 == 0) {
            *out++ = QLatin1Char('\n');
            *out++ = QLatin1Char('\n');
        } else if (position % 32 == 0) {
            *out++ = QLatin1Char('\n');
        } else if (position % 8 == 0) {
            *out++ = QLatin1Char(' ');
            if (!last)
                *out++ = QLatin1Char(' ');
        } else if (!last) {
            *out++ = QLatin1Char(' ');
        }
    }
    text.truncate(int(out - text.data()));
    return text;
}
