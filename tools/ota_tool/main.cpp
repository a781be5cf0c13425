// vantrel-ota: headless OTA upgrades, one board or many at once.
#include "command_line.h"
#include "image_file.h"
#include "interrupt_notifier.h"
#include "ota_options.h"
#include "ota_output.h"
#include "ota_texts.h"
#include "port_lookup.h"
#include "port_upgrade.h"
#include "standard_streams.h"
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
    standard_streams::print_error(QStringLiteral("cannot write to standard output: %1")
                                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return ota_exit::output;
}

int print_help()
{
    return standard_streams::print_out(tool_usage()) ? ota_exit::ok : results_lost();
}

// With mixed results the most pressing one decides: an interrupted run is
// incomplete as a whole; a port fault points at the station's wiring; a
// silent board at a board that did not boot; a refusal at the image.
int overall_exit_code(const std::vector<std::unique_ptr<port_upgrade>> &upgrades)
{
    int code = ota_exit::ok;
    for (const auto &upgrade : upgrades)
        code = combined_exit_code(code, result_exit_code(*upgrade));
    return code;
}

int run_ports(const QStringList &arguments)
{
    ports_options options;
    bool help = false;
    if (!parse_ports_options(arguments, &options, &help))
        return ota_exit::usage;
    if (help)
        return print_help();
    return print_ports(QSerialPortInfo::availablePorts(), options.json) ? ota_exit::ok
                                                                        : results_lost();
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
    standard_streams::print_error(QStringLiteral("%1: %2").arg(path, refusal));
    return false;
}

// What flash and watch do first: their options, their help, the debug lines,
// the image (read once, shared by every board). Returns the code to end with,
// or -1 to go on.
template <typename options_t>
int prepare_upgrades(const QStringList &arguments,
                     bool (*parse)(const QStringList &, options_t *, bool *), options_t *options,
                     QByteArray *image)
{
    bool help = false;
    if (!parse(arguments, options, &help))
        return ota_exit::usage;
    if (help)
        return print_help();
    quiet_unless(options->verbose);
    if (!read_nonempty_image(options->image_path, image))
        return ota_exit::image;
    return -1;
}

int run_flash(const QStringList &arguments)
{
    flash_options options;
    QByteArray image;
    if (const int code = prepare_upgrades(arguments, parse_flash_options, &options, &image);
        code >= 0)
        return code;

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
                standard_streams::print_error(
                    QStringLiteral("--port: '%1' and '%2' are the same port %3")
                        .arg(other.given, given, target.device()));
                return ota_exit::usage;
            }
        }
        targets << target;
    }

    // A reader that stops early (`| head -1`) must not take the boards'
    // results and the exit code with it.
    standard_streams::keep_going_on_closed_pipe();
    interrupt_notifier interrupts;
    if (!interrupts.install())
        standard_streams::print_error(
            QStringLiteral("cannot watch for requests to stop; they end the run at once"));

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

    progress_display progress(views, standard_streams::is_terminal(stderr));
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
    QByteArray image;
    if (const int code = prepare_upgrades(arguments, parse_watch_options, &options, &image);
        code >= 0)
        return code;
    standard_streams::keep_going_on_closed_pipe();
    const station_image station{
        QFileInfo(options.image_path).absoluteFilePath(), image,
        QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex())};
    watch_station watch(options, station);
    return watch.run();
}

} // namespace

int main(int argc, char *argv[])
{
    standard_streams::prepare("vantrel-ota");
    standard_streams::set_terminal_gone_check(&interrupt_notifier::terminal_closed);
    command_line::prefer_plain_event_loop();
    QCoreApplication application(argc, argv);
    return command_line::run_command(
        argc, argv,
        {{QStringLiteral("help"), [](const QStringList &) { return print_help(); }},
         {QStringLiteral("ports"), run_ports},
         {QStringLiteral("flash"), run_flash},
         {QStringLiteral("watch"), run_watch}});
}
