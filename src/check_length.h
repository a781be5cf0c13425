#ifndef CHECK_LENGTH_H
#define CHECK_LENGTH_H

#include <QString>
#include <QtGlobal>

// The check length as the user types it: hexadecimal digits, optionally
// behind a leading "0x", normalised to "0x" and at least four digits.
namespace check_length {

// What the input field lets through, keystroke by keystroke.
inline constexpr const char *text_pattern = "[A-FXa-fx0-9]{0,6}";

bool matches_pattern(const QString &text);

// The normalised form of a finished input, or false when the text holds a
// "0x" anywhere but at its start, or an x after a leading "0x".
bool normalise(const QString &text, QString *normalised);

// The value of a field text: its first two characters are dropped and the
// rest read as hexadecimal; anything that is not a number gives 0.
quint32 value_of(const QString &field_text);

// Each check block carries this many image bytes, so 0 can never build.
inline bool is_usable(quint32 check_len)
{
    return check_len != 0;
}

} // namespace check_length

#endif // CHECK_LENGTH_H
