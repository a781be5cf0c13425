#include "device_options.h"

#include "command_line.h"

#include <QCommandLineParser>

namespace {

struct number_option
{
    const char *name;
    int *target;
    int minimum;
};

} // namespace

QString device_usage()
{
    return QStringLiteral(
        "Usage: vantrel-device-sim --port PATH [options]\n"
        "Plays the target device of an OTA upgrade on the serial port PATH.\n"
        "\n"
        "  --port PATH              serial port to open (required)\n"
        "  --output FILE            write the received image to FILE\n"
        "  --baud RATE              line rate set on the port (default 115200)\n"
        "  --frame-size N           image bytes per data frame in the start response\n"
        "                           (default 256; 0 is sent as given)\n"
        "  --idle-timeout MS        give up after MS without a byte (default 10000,\n"
        "                           0 waits for ever)\n"
        "\n"
        "Faults (data frames count from 1):\n"
        "  --refuse-frame N         acknowledge data frame N with status 0x00\n"
        "  --end-early N            answer data frame N with an end response\n"
        "  --end-failure            answer the end frame with status 0x00\n"
        "  --restart-at-end         take the end frame, write the image and go away\n"
        "                           without an end response, as a board that restarts\n"
        "                           into its new firmware at once\n"
        "  --start-bytes N          start response with N data bytes: the first N of\n"
        "                           the frame size's 4, then filler (0xEE)\n"
        "  --bad-checksum N         before answering data frame N, send the answer\n"
        "                           with a wrong checksum\n"
        "  --wrong-type N           ... the answer with frame type 0x04\n"
        "  --wrong-command N        ... the answer with command 0x05\n"
        "  --noise                  noise bytes before and between answers\n"
        "  --byte-at-a-time         write answers one byte at a time\n"
        "  --silent-after N         stop answering after data frame N\n"
        "  --second-start N         answer data frame N with another start response\n"
        "  --pace BAUD              delay each answer by the wire time of the request\n"
        "                           and the answer at BAUD (8N1)\n"
        "  --burst MS               hand answers over only every MS milliseconds, in\n"
        "                           one piece with whatever else is due, as a USB\n"
        "                           adapter does at the end of its latency timer\n"
        "\n"
        "Exit status: 0 upgrade completed and image written, 1 upgrade not\n"
        "completed (a fault was played or the image was incomplete), 2 usage or\n"
        "port error, 3 idle timeout, 4 malformed or out-of-order frame from the tool,\n"
        "5 upgrade completed but the image could not be written to --output.\n");
}

bool parse_device_options(const QStringList &arguments, device_options *options, bool *help,
                          QString *error)
{
    *help = false;
    const auto value_option = [](const char *name, const char *value) {
        return QCommandLineOption(QLatin1String(name), QString(), QLatin1String(value));
    };
    const QCommandLineOption help_option{{QStringLiteral("h"), QStringLiteral("help")}};
    const QCommandLineOption port_option = value_option("port", "path");
    const QCommandLineOption output_option = value_option("output", "file");
    const QCommandLineOption frame_size_option = value_option("frame-size", "n");
    const QCommandLineOption end_failure_option{QStringLiteral("end-failure")};
    const QCommandLineOption restart_option{QStringLiteral("restart-at-end")};
    const QCommandLineOption noise_option{QStringLiteral("noise")};
    const QCommandLineOption byte_option{QStringLiteral("byte-at-a-time")};
    const number_option numbers[] = {
        {"refuse-frame", &options->refuse_frame, 0},
        {"end-early", &options->end_early_frame, 0},
        {"bad-checksum", &options->bad_checksum_frame, 0},
        {"wrong-type", &options->wrong_type_frame, 0},
        {"wrong-command", &options->wrong_command_frame, 0},
        {"silent-after", &options->silent_after_frame, 0},
        {"second-start", &options->second_start_frame, 0},
        {"start-bytes", &options->start_bytes, 0},
        {"idle-timeout", &options->idle_timeout_ms, 0},
        {"baud", &options->baud_rate, 1},
        {"pace", &options->pace_baud, 0},
        {"burst", &options->burst_ms, 0},
    };
    QCommandLineParser parser;
    parser.addOptions({help_option, port_option, output_option, frame_size_option,
                       end_failure_option, restart_option, noise_option, byte_option});
    QList<QCommandLineOption> number_options;
    for (const number_option &number : numbers) {
        number_options << value_option(number.name, "n");
        parser.addOption(number_options.last());
    }
    if (!command_line::parse(parser, QStringLiteral("vantrel-device-sim"), arguments, error))
        return false;
    if (parser.isSet(help_option)) {
        *help = true;
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]);
        return false;
    }
    options->port = parser.value(port_option);
    options->output = parser.value(output_option);
    options->end_failure = parser.isSet(end_failure_option);
    options->restart_at_end = parser.isSet(restart_option);
    options->noise = parser.isSet(noise_option);
    options->byte_at_a_time = parser.isSet(byte_option);
    if (parser.isSet(frame_size_option)) {
        bool ok = false;
        options->frame_size = parser.value(frame_size_option).toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--frame-size: not a number: %1")
                         .arg(parser.value(frame_size_option));
            return false;
        }
    }
    for (int i = 0; i < number_options.size(); ++i) {
        if (!parser.isSet(number_options[i]))
            continue;
        const QString value = parser.value(number_options[i]);
        bool ok = false;
        *numbers[i].target = value.toInt(&ok);
        if (!ok || *numbers[i].target < numbers[i].minimum) {
            *error = QStringLiteral("--%1: not a count from %2: %3")
                         .arg(QLatin1String(numbers[i].name))
                         .arg(numbers[i].minimum)
                         .arg(value);
            return false;
        }
    }
    if (options->port.isEmpty()) {
        *error = QStringLiteral("--port is required");
        return false;
    }
    return true;
}
