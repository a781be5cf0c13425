#include "command_line.h"

#include "standard_streams.h"

#include <QCoreApplication>

namespace command_line {

#ifndef Q_OS_WIN
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
#endif

void prefer_plain_event_loop()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

bool arguments(int argc, char *argv[], QStringList *arguments, QString *refused)
{
    arguments->clear();
#ifdef Q_OS_WIN
    // Windows hands the command line over as UTF-16, which Qt takes whole;
    // argv holds it in the ANSI code page, where a name may have lost letters.
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    Q_UNUSED(refused)
    *arguments = QCoreApplication::arguments().mid(1);
#else
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
#endif
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

int run_command(int argc, char *argv[], const commands &commands)
{
    constexpr int usage_error = 2;
    QStringList given;
    QString refused;
    if (!arguments(argc, argv, &given, &refused)) {
        standard_streams::print_error(refused);
        return usage_error;
    }
    if (given.isEmpty()) {
        standard_streams::print_error(QStringLiteral("no command given; try --help"));
        return usage_error;
    }
    QString name = given.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h"))
        name = QStringLiteral("help");
    const auto command = commands.find(name);
    if (command == commands.end()) {
        standard_streams::print_error(QStringLiteral("unknown command '%1'; try --help").arg(name));
        return usage_error;
    }
    return command->second(given);
}

} // namespace command_line
