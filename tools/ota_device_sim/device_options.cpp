#include "device_options.h"

namespace {

struct number_option
{
    const char *name;
    int *target;
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
        "port error, 3 idle timeout, 4 malformed or out-of-order frame from the tool.\n");
}

bool parse_device_options(const QStringList &arguments, device_options *options, bool *help,
                          QString *error)
{
    *help = false;
    QStringList args = arguments;
    auto take_value = [&](int &i, QString *value) {
        if (i + 1 >= args.size()) {
            *error = QStringLiteral("%1 needs a value").arg(args.at(i));
            return false;
        }
        *value = args.at(++i);
        return true;
    };
    const number_option numbers[] = {
        {"--refuse-frame", &options->refuse_frame},
        {"--end-early", &options->end_early_frame},
        {"--bad-checksum", &options->bad_checksum_frame},
        {"--wrong-type", &options->wrong_type_frame},
        {"--wrong-command", &options->wrong_command_frame},
        {"--silent-after", &options->silent_after_frame},
        {"--second-start", &options->second_start_frame},
        {"--start-bytes", &options->start_bytes},
        {"--idle-timeout", &options->idle_timeout_ms},
        {"--baud", &options->baud_rate},
        {"--pace", &options->pace_baud},
        {"--burst", &options->burst_ms},
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            *help = true;
            return true;
        }
        if (arg == QLatin1String("--end-failure")) {
            options->end_failure = true;
            continue;
        }
        if (arg == QLatin1String("--restart-at-end")) {
            options->restart_at_end = true;
            continue;
        }
        if (arg == QLatin1String("--noise")) {
            options->noise = true;
            continue;
        }
        if (arg == QLatin1String("--byte-at-a-time")) {
            options->byte_at_a_time = true;
            continue;
        }
        if (arg == QLatin1String("--port")) {
            if (!take_value(i, &options->port))
                return false;
            continue;
        }
        if (arg == QLatin1String("--output")) {
            if (!take_value(i, &options->output))
                return false;
            continue;
        }
        if (arg == QLatin1String("--frame-size")) {
            if (!take_value(i, &value))
                return false;
            bool ok = false;
            options->frame_size = value.toUInt(&ok);
            if (!ok) {
                *error = QStringLiteral("--frame-size: not a number: %1").arg(value);
                return false;
            }
            continue;
        }
        bool known = false;
        for (const number_option &option : numbers) {
            if (arg != QLatin1String(option.name))
                continue;
            known = true;
            if (!take_value(i, &value))
                return false;
            bool ok = false;
            *option.target = value.toInt(&ok);
            if (!ok || *option.target < 0) {
                *error = QStringLiteral("%1: not a count: %2").arg(arg, value);
                return false;
            }
        }
        if (!known) {
            *error = QStringLiteral("unknown option: %1").arg(arg);
            return false;
        }
    }
    if (options->port.isEmpty()) {
        *error = QStringLiteral("--port is required");
        return false;
    }
    return true;
}
