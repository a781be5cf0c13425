#include "check_length.h"

#include <QRegularExpression>

namespace check_length {

bool matches_pattern(const QString &text)
{
    const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QString::fromLatin1(text_pattern)));
    return pattern.match(text).hasMatch();
}

bool normalise(const QString &text, QString *normalised)
{
    const QString prefix = QStringLiteral("0x");
    QString digits = text;
    const int at = digits.indexOf(prefix, 0, Qt::CaseInsensitive);
    if (at > 0)
        return false;
    if (at == 0) {
        digits.remove(0, prefix.size());
        if (digits.contains(QLatin1Char('x'), Qt::CaseInsensitive))
            return false;
    }
    while (digits.size() < 4)
        digits.prepend(QLatin1Char('0'));
    *normalised = prefix + digits;
    return true;
}

quint32 value_of(const QString &field_text)
{
    bool ok = false;
    const quint32 value = field_text.mid(2).toUInt(&ok, 16);
    return ok ? value : 0;
}

} // namespace check_length
