#include "command_line.h"

namespace command_line {

namespace {

// Printable ASCII as it is, every other byte as \xNN.
QString escaped(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes) {
        const uchar value = uchar(byte);
        if (value >= 0x20 && value < 0x7f)
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

void prefer_plain_event_loop()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

bool arguments(int argc, char *argv[], QStringList *arguments, QString *refused)
{
    arguments->clear();
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString text = QString::fromLocal8Bit(raw);
        if (text.toLocal8Bit() != raw) {
            *refused = QStringLiteral("argument '%1' is not valid in this system's encoding "
                                      "(UTF-8); it cannot be taken as given")
                           .arg(escaped(raw));
            return false;
        }
        *arguments << text;
    }
    return true;
}

bool parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
           QString *error)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    if (parser.parse(QStringList{command} + arguments))
        return true;
    *error = parser.errorText();
    return false;
}

} // namespace command_line
