// vantrel-ota: headless OTA upgrades, one board or many at once.
#include "command_line.h"
#include "flash_options.h"
#include "flash_output.h"
#include "image_file.h"
#include "interrupt_notifier.h"
#include "ota_texts.h"
#include "port_lookup.h"
#include "port_upgrade.h"
#include "terminal.h"
#include "watch_station.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSerialPortInfo>

#include <cerrno>
#include <cstring>

#include <memory>
#include <vector>

namespace {

int results_lost()
{
    print_error(QStringLiteral("cannot write to standard output: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return exit_output;
}

// With mixed results the most pressing one decides: an interrupted run is
// incomplete as a whole; a port fault points at the station's wiring; a
// silent board at a board that did not boot; a refusal at the image.
int overall_exit_code(const std::vector<std::unique_ptr<port_upgrade>> &upgrades)
{
    int code = exit_ok;
    for (const auto &upgrade : upgrades)
        code = combined_exit_code(code, result_exit_code(*upgrade));
    return code;
}

int run_ports(const QStringList &arguments)
{
    ports_options options;
    bool help = false;
    if (!parse_ports_options(arguments, &options, &help))
        return exit_usage;
    if (help)
        return print_out(tool_usage()) ? exit_ok : results_lost();
    return print_ports(QSerialPortInfo::availablePorts(), options.json) ? exit_ok : results_lost();
}

// The frame and receive-buffer lines would bury the progress; the
// environment's QT_LOGGING_RULES still overrides this.
void quiet_unless(bool verbose)
{
    if (!verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*.debug=false"));
}

// The image for every board, or not ok with the reason printed. An empty
// pipe or a failed build upstream leaves nothing to flash.
bool read_nonempty_image(const QString &path, QByteArray *image)
{
    const image_file::read_outcome read =
        image_file::append_whole(path, *image, image_file::max_upgrade_image_size);
    QString refusal;
    if (read.status != image_file::read_status::ok)
        refusal = ota_texts::image_refusal(read);
    else if (image->isEmpty())
        refusal = QStringLiteral("the image is empty");
    if (refusal.isEmpty())
        return true;
    print_error(QStringLiteral("%1: %2").arg(path, refusal));
    return false;
}

int run_flash(const QStringList &arguments)
{
    flash_options options;
    bool help = false;
    if (!parse_flash_options(arguments, &options, &help))
        return exit_usage;
    if (help)
        return print_out(tool_usage()) ? exit_ok : results_lost();
    quiet_unless(options.verbose);
    // Read once, shared by every port.
    QByteArray image;
    if (!read_nonempty_image(options.image_path, &image))
        return exit_image;

    // The system's list is a walk through every tty it knows, tens of
    // milliseconds: only a serial number needs it, since a name or path
    // opens the same device either way.
    QList<QSerialPortInfo> available;
    for (const QString &given : qAsConst(options.ports)) {
        if (names_serial_number(given)) {
            available = QSerialPortInfo::availablePorts();
            break;
        }
    }
    QList<port_target> targets;
    for (const QString &given : options.ports) {
        const port_target target = find_port(given, available);
        for (const port_target &other : targets) {
            if (target.error.isEmpty() && other.error.isEmpty() &&
                target.device() == other.device()) {
                print_error(QStringLiteral("--port: '%1' and '%2' are the same port %3")
                                .arg(other.given, given, target.device()));
                return exit_usage;
            }
        }
        targets << target;
    }

    // A reader that stops early (`| head -1`) must not take the boards'
    // results and the exit code with it.
    terminal::keep_going_on_closed_pipe();
    interrupt_notifier interrupts;
    if (!interrupts.install())
        print_error(QStringLiteral("cannot watch for requests to stop; they end the run at once"));

    port_upgrade::settings line;
    line.baud_rate = options.baud_rate;
    line.timeout_ms = options.timeout_ms;
    std::vector<std::unique_ptr<port_upgrade>> upgrades;
    QList<port_upgrade *> views;
    for (const port_target &target : targets) {
        upgrades.push_back(std::make_unique<port_upgrade>(target, image, line));
        views << upgrades.back().get();
    }

    QEventLoop loop;
    int running = int(upgrades.size());
    for (const auto &upgrade : upgrades) {
        QObject::connect(upgrade.get(), &port_upgrade::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
    }
    QObject::connect(&interrupts, &interrupt_notifier::interrupted, &loop, [&] {
        for (const auto &upgrade : upgrades)
            upgrade->interrupt();
    });

    progress_display progress(views, terminal::is_terminal(stderr));
    for (const auto &upgrade : upgrades)
        upgrade->start();
    if (running > 0)
        loop.exec();
    progress.finish();
    // Results that did not reach their reader are lost, whatever they were.
    if (!print_summary(views, options.json))
        return results_lost();
    return overall_exit_code(upgrades);
}

int run_watch(const QStringList &arguments)
{
    watch_options options;
    bool help = false;
    if (!parse_watch_options(arguments, &options, &help))
        return exit_usage;
    if (help)
        return print_out(tool_usage()) ? exit_ok : results_lost();
    quiet_unless(options.verbose);
    QByteArray image;
    if (!read_nonempty_image(options.image_path, &image))
        return exit_image;
    terminal::keep_going_on_closed_pipe();
    const station_image station{
        QFileInfo(options.image_path).absoluteFilePath(), image,
        QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex())};
    watch_station watch(options, station);
    return watch.run();
}

} // namespace

int main(int argc, char *argv[])
{
    command_line::prefer_plain_event_loop();
    QCoreApplication application(argc, argv);
    QStringList arguments;
    QString refused;
    if (!command_line::arguments(argc, argv, &arguments, &refused)) {
        print_error(refused);
        return exit_usage;
    }
    if (arguments.isEmpty()) {
        print_error(QStringLiteral("no command given; try --help"));
        return exit_usage;
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help"))
        return print_out(tool_usage()) ? exit_ok : results_lost();
    if (command == QLatin1String("ports"))
        return run_ports(arguments);
    if (command == QLatin1String("flash"))
        return run_flash(arguments);
    if (command == QLatin1String("watch"))
        return run_watch(arguments);
    print_error(QStringLiteral("unknown command '%1'; try --help").arg(command));
    return exit_usage;
}
