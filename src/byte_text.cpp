#include "byte_text.h"

namespace byte_text {

namespace {

const char upper_digits[] = "0123456789ABCDEF";

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A character above U+00FF has no Latin-1 form and reads as 0.
char latin1_at(const QString &text, int i)
{
    return text.at(i).toLatin1();
}

} // namespace

QString byte_line(const QString &prefix, const QByteArray &bytes)
{
    const int prefix_length = prefix.size();
    QString line(prefix_length + 3 * bytes.size(), Qt::Uninitialized);
    QChar *out = line.data();
    for (int i = 0; i < prefix_length; ++i)
        *out++ = prefix.at(i);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QLatin1Char(upper_digits[value >> 4]);
        *out++ = QLatin1Char(upper_digits[value & 0x0F]);
        *out++ = QLatin1Char(' ');
    }
    return line;
}

QString coloured_paragraph(const char *colour, const QString &line)
{
    return QStringLiteral("<font color=\"") + QLatin1String(colour) + QStringLiteral("\">") + line +
           QStringLiteral("</font> ");
}

QByteArray hex_text_to_bytes(const QString &text, hex_fault *fault)
{
    const auto is_blank = [](char c) { return c == ' ' || c == '\n'; };
    hex_fault found = hex_fault::none;
    const int n = text.size();
    QByteArray result(n / 2, '\0');
    int i = 0;
    int j = 0;
    while (i < n && found == hex_fault::none) {
        const char c = latin1_at(text, i);
        if (is_blank(c)) {
            ++i;
            continue;
        }
        const int high = hex_digit_value(c);
        const char d = i + 1 < n ? latin1_at(text, i + 1) : ' ';
        const int low = hex_digit_value(d);
        if (high < 0) {
            found = hex_fault::bad_character;
        } else if (low >= 0) {
            result[j++] = static_cast<char>(16 * high + low);
            i += 2;
        } else if (!is_blank(d)) {
            found = hex_fault::bad_character;
        } else {
            // A lone digit that only blanks follow is the last one typed.
            int next = i + 1;
            while (next < n && is_blank(latin1_at(text, next)))
                ++next;
            found = next == n ? hex_fault::unpaired_last_digit : hex_fault::blank_in_pair;
        }
    }
    result.resize(j);
    if (fault)
        *fault = found;
    return result;
}

QByteArray text_to_bytes(const QString &text, bool append_cr_lf)
{
    QByteArray bytes = text.toLatin1();
    if (append_cr_lf)
        bytes.append("\r\n", 2);
    return bytes;
}

} // namespace byte_text
