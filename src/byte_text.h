#ifndef BYTE_TEXT_H
#define BYTE_TEXT_H

#include <QByteArray>
#include <QString>

// Text forms of bytes used by the terminal view and the send line.
namespace byte_text {

// Colours of the terminal lines.
inline constexpr const char *sent_colour = "#0000ff";
inline constexpr const char *received_colour = "#FF0000";

// prefix followed by every byte as "%02X " (two upper-case digits and a space).
QString byte_line(const QString &prefix, const QByteArray &bytes);

// The rich-text paragraph the terminal appends for one transfer:
// <font color="COLOUR">LINE</font> with a trailing space.
QString coloured_paragraph(const char *colour, const QString &line);

// What keeps hexadecimal text from being sent, the first one met.
enum class hex_fault
{
    none,
    bad_character,       // anything but digits, spaces and line feeds
    blank_in_pair,       // a space or line feed between the two digits of a byte
    unpaired_last_digit, // a digit without a partner, followed by blanks at most
};

// Bytes spelled by hexadecimal text: pairs of digits, with spaces and line
// feeds skipped where a new pair would begin. On a fault the result is what
// was read up to it (an unpaired last digit is dropped) and *fault (if
// given) says which one it was.
QByteArray hex_text_to_bytes(const QString &text, hex_fault *fault = nullptr);

// The send line's text as bytes: Latin-1 (anything else becomes '?'),
// optionally followed by CR LF.
QByteArray text_to_bytes(const QString &text, bool append_cr_lf);

} // namespace byte_text

#endif // BYTE_TEXT_H
