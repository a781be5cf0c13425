#include "ota_options.h"

#include "command_line.h"
#include "ota_output.h"
#include "port_watcher.h"
#include "standard_streams.h"

#include <QCommandLineParser>

#include <limits>

namespace {

// QTimer counts in int milliseconds.
constexpr double max_timeout_seconds = std::numeric_limits<int>::max() / 1000.0;

QCommandLineOption port_option{
    {QStringLiteral("p"), QStringLiteral("port")}, QString(), QStringLiteral("port")};
QCommandLineOption baud_option{
    {QStringLiteral("b"), QStringLiteral("baud")}, QString(), QStringLiteral("rate")};
QCommandLineOption timeout_option{
    {QStringLiteral("t"), QStringLiteral("timeout")}, QString(), QStringLiteral("seconds")};
QCommandLineOption json_option{QStringLiteral("json")};
QCommandLineOption verbose_option{{QStringLiteral("v"), QStringLiteral("verbose")}};
QCommandLineOption help_option{{QStringLiteral("h"), QStringLiteral("help")}};
QCommandLineOption match_option{
    {QStringLiteral("m"), QStringLiteral("match")}, QString(), QStringLiteral("pattern")};
QCommandLineOption log_option{QStringLiteral("log"), QString(), QStringLiteral("file")};
QCommandLineOption count_option{QStringLiteral("count"), QString(), QStringLiteral("boards")};
QCommandLineOption present_option{QStringLiteral("present"), QString(), QStringLiteral("line")};

bool parse(QCommandLineParser &parser, const QStringList &arguments)
{
    QString error;
    if (command_line::parse(parser, QStringLiteral("vantrel-ota"), arguments, &error))
        return true;
    standard_streams::print_error(error);
    return false;
}

// The one image file that flash and watch take.
bool read_image_path(const QCommandLineParser &parser, const QString &command, QString *path)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() == 1) {
        *path = positional.first();
        return true;
    }
    standard_streams::print_error(positional.isEmpty()
                                      ? QStringLiteral("%1: no image file given").arg(command)
                                      : QStringLiteral("%1: one image file only, got '%2'")
                                            .arg(command, positional.join(QStringLiteral("', '"))));
    return false;
}

bool read_baud(const QCommandLineParser &parser, qint32 *rate)
{
    if (!parser.isSet(baud_option))
        return true;
    bool ok = false;
    *rate = parser.value(baud_option).toInt(&ok);
    if (ok && *rate > 0)
        return true;
    standard_streams::print_error(QStringLiteral("--baud: '%1' is not a positive whole number")
                                      .arg(parser.value(baud_option)));
    return false;
}

bool read_timeout(const QCommandLineParser &parser, int *timeout_ms)
{
    if (!parser.isSet(timeout_option))
        return true;
    bool ok = false;
    const double seconds = parser.value(timeout_option).toDouble(&ok);
    if (!ok || !(seconds >= 0) || seconds > max_timeout_seconds) {
        standard_streams::print_error(
            QStringLiteral("--timeout: '%1' is not a number of seconds from 0 to %2")
                .arg(parser.value(timeout_option))
                .arg(qint64(max_timeout_seconds)));
        return false;
    }
    // A positive timeout never rounds down to "for ever".
    *timeout_ms = seconds > 0 ? qMax(1, int(seconds * 1000 + 0.5)) : 0;
    return true;
}

} // namespace

QString tool_usage()
{
    return QStringLiteral(
        "Usage: vantrel-ota COMMAND [options]\n"
        "Commands:\n"
        "  ports [--json]\n"
        "      list the serial ports: name, location, description, manufacturer,\n"
        "      serial number, VID:PID\n"
        "  flash IMAGE --port P [--port P ...] [--baud N] [--timeout SECONDS] [--json]\n"
        "      upgrade every port at once with IMAGE\n"
        "  watch IMAGE --match PATTERN [--match PATTERN ...] [--baud N] [--timeout S]\n"
        "        [--log FILE] [--json] [--count N] [--present cts|dsr|dcd]\n"
        "      a flashing station: upgrade every matching port as it appears, each\n"
        "      once until it is unplugged\n"
        "Options of flash:\n"
        "  -p, --port P         a port name or location as 'ports' lists it, a device\n"
        "                       path, or sn:SERIAL for the adapter with that serial\n"
        "                       number; repeat for more boards\n"
        "  -b, --baud N         line rate, any the driver accepts (default 115200); 8N1,\n"
        "                       no flow control\n"
        "  -t, --timeout S      give a port up when its device has not answered for S\n"
        "                       seconds after a frame has crossed the line (default 5;\n"
        "                       0 waits for ever)\n"
        "      --json           one JSON object per port instead of the summary table\n"
        "  -v, --verbose        write the frame and receive debug lines to stderr\n"
        "Options of watch (and --baud, --timeout, --verbose as for flash):\n"
        "  -m, --match PATTERN  a path glob (/dev/serial/by-id/usb-FTDI_*), VVVV:PPPP\n"
        "                       in hexadecimal, or sn:GLOB on the adapter's serial\n"
        "                       number; repeat for more\n"
        "      --log FILE       append one JSON record per finished board, on disk\n"
        "                       before the board is shown; a log that cannot be\n"
        "                       written stops the station (exit 6)\n"
        "      --json           one JSON record per finished board on stdout\n"
        "      --count N        end after N boards; exit as flash would for them\n"
        "      --present LINE   a fixture whose adapters stay plugged in: a board\n"
        "                       starts when LINE (cts, dsr or dcd) rises, and is a\n"
        "                       new board once it has fallen; without it, when its\n"
        "                       port appears\n"
        "Exit status: 0 every port succeeded, 1 refused or failed, 2 usage error,\n"
        "3 image file, 4 port not opened or lost, 5 timeout, 6 results not written\n"
        "to standard output, 130 interrupted; with mixed results the first of 130,\n"
        "4, 5, 1 that occurred, and 6 over all.\n");
}

bool parse_flash_options(const QStringList &arguments, flash_options *options, bool *help)
{
    QCommandLineParser parser;
    parser.addOptions(
        {port_option, baud_option, timeout_option, json_option, verbose_option, help_option});
    if (!parse(parser, arguments))
        return false;
    if (parser.isSet(help_option)) {
        *help = true;
        return true;
    }
    if (!read_image_path(parser, QStringLiteral("flash"), &options->image_path))
        return false;
    options->ports = parser.values(port_option);
    if (options->ports.isEmpty()) {
        standard_streams::print_error(QStringLiteral("flash: no --port given"));
        return false;
    }
    for (const QString &port : options->ports) {
        if (port.isEmpty() || port == QLatin1String("sn:")) {
            standard_streams::print_error(QStringLiteral("--port: empty"));
            return false;
        }
        if (options->ports.count(port) > 1) {
            standard_streams::print_error(QStringLiteral("--port: '%1' given twice").arg(port));
            return false;
        }
    }
    options->json = parser.isSet(json_option);
    options->verbose = parser.isSet(verbose_option);
    return read_baud(parser, &options->baud_rate) && read_timeout(parser, &options->timeout_ms);
}

bool parse_watch_options(const QStringList &arguments, watch_options *options, bool *help)
{
    QCommandLineParser parser;
    parser.addOptions({match_option, baud_option, timeout_option, log_option, json_option,
                       count_option, present_option, verbose_option, help_option});
    if (!parse(parser, arguments))
        return false;
    if (parser.isSet(help_option)) {
        *help = true;
        return true;
    }
    options->present = parser.value(present_option).toLower();
    if (parser.isSet(present_option) &&
        !QStringList{QStringLiteral("cts"), QStringLiteral("dsr"), QStringLiteral("dcd")}.contains(
            options->present)) {
        standard_streams::print_error(QStringLiteral("--present: '%1' is none of cts, dsr, dcd")
                                          .arg(parser.value(present_option)));
        return false;
    }
    if (!read_image_path(parser, QStringLiteral("watch"), &options->image_path))
        return false;
    options->patterns = parser.values(match_option);
    if (options->patterns.isEmpty()) {
        standard_streams::print_error(QStringLiteral("watch: no --match given"));
        return false;
    }
    for (const QString &pattern : options->patterns) {
        const QString error = port_watcher::pattern_error(pattern);
        if (!error.isEmpty()) {
            standard_streams::print_error(QStringLiteral("--match: %1").arg(error));
            return false;
        }
    }
    if (parser.isSet(count_option)) {
        bool ok = false;
        options->count = parser.value(count_option).toInt(&ok);
        if (!ok || options->count <= 0) {
            standard_streams::print_error(
                QStringLiteral("--count: '%1' is not a positive whole number")
                    .arg(parser.value(count_option)));
            return false;
        }
    }
    if (parser.isSet(log_option) && parser.value(log_option).isEmpty()) {
        standard_streams::print_error(QStringLiteral("--log: no file given"));
        return false;
    }
    options->log_path = parser.value(log_option);
    options->json = parser.isSet(json_option);
    options->verbose = parser.isSet(verbose_option);
    return read_baud(parser, &options->baud_rate) && read_timeout(parser, &options->timeout_ms);
}

bool parse_ports_options(const QStringList &arguments, ports_options *options, bool *help)
{
    QCommandLineParser parser;
    parser.addOptions({json_option, help_option});
    if (!parse(parser, arguments))
        return false;
    if (parser.isSet(help_option)) {
        *help = true;
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        standard_streams::print_error(QStringLiteral("ports: unexpected argument '%1'")
                                          .arg(parser.positionalArguments().first()));
        return false;
    }
    options->json = parser.isSet(json_option);
    return true;
}
