#include "watch_station.h"

#include "flash_output.h"
#include "interrupt_notifier.h"

#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int status_interval_ms = 200;

int terminal_width()
{
    winsize size = {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
}

} // namespace

watch_station::watch_station(const watch_options &options, const station_image &image,
                             QObject *parent)
    : QObject(parent), options(options), image(image), watcher(options.patterns),
      live(isatty(STDERR_FILENO) != 0)
{
    connect(&watcher, &port_watcher::appeared, this, &watch_station::port_appeared);
    connect(&watcher, &port_watcher::disappeared, this, &watch_station::port_disappeared);
    status_timer.setInterval(status_interval_ms);
    connect(&status_timer, &QTimer::timeout, this, &watch_station::show_status);
}

int watch_station::run()
{
    QString error;
    if (!options.log_path.isEmpty() && !log.open(options.log_path, &error)) {
        print_error(QStringLiteral("cannot open the log %1: %2").arg(options.log_path, error));
        return exit_output;
    }
    interrupt_notifier interrupts;
    if (!interrupts.install())
        print_error(
            QStringLiteral("cannot watch for SIGINT and SIGTERM; they end the station at once"));
    connect(&interrupts, &interrupt_notifier::interrupted, this, &watch_station::interrupt);
    if (live) {
        show_status();
        status_timer.start();
    }
    watcher.start();
    if (!stopping)
        loop.exec();
    status_timer.stop();
    clear_status();
    print_error(QStringLiteral("passed %1, failed %2, interrupted %3")
                    .arg(passed)
                    .arg(failed)
                    .arg(interrupted));
    return final_code;
}

void watch_station::port_appeared(const found_port &port)
{
    const auto known = boards.find(port.device);
    if (known != boards.end()) {
        // Back before its upgrade noticed it had gone: still the same board.
        known->second->present = true;
        return;
    }
    if (stopping || interrupt_notifier::requested() ||
        (options.count > 0 && started >= options.count))
        return;
    note(QStringLiteral("%1: found (%2)").arg(port.target.given, port.device));
    auto added = std::make_unique<board>();
    board *plugged = added.get();
    plugged->port = port;
    port_upgrade::settings line;
    line.baud_rate = options.baud_rate;
    line.timeout_ms = options.timeout_ms;
    plugged->upgrade = std::make_unique<port_upgrade>(port.target, image.bytes, line);
    plugged->start = QDateTime::currentDateTime();
    boards[port.device] = std::move(added);
    ++started;
    connect(plugged->upgrade.get(), &port_upgrade::finished, this,
            [this, plugged] { board_finished(plugged); });
    plugged->upgrade->start();
}

void watch_station::port_disappeared(const found_port &port)
{
    const auto known = boards.find(port.device);
    if (known == boards.end())
        return;
    note(QStringLiteral("%1: removed").arg(port.target.given));
    // One in progress learns it from its port, or from its timeout.
    if (known->second->upgrade->is_finished())
        boards.erase(known);
    else
        known->second->present = false;
}

void watch_station::board_finished(board *finished)
{
    if (silenced)
        return;
    const int code = result_exit_code(*finished->upgrade);
    if (!report(*finished))
        return;
    if (code == exit_ok)
        ++passed;
    else if (code == exit_interrupted)
        ++interrupted;
    else
        ++failed;
    worst_code = combined_exit_code(worst_code, code);
    if (!finished->present) {
        // Called from its own signal: the upgrade goes once that returns.
        const QString device = finished->port.device;
        finished->upgrade.release()->deleteLater();
        boards.erase(device);
    }
    if (!stopping && options.count > 0 && passed + failed + interrupted >= options.count)
        stop(worst_code);
}

bool watch_station::report(const board &finished)
{
    const board_report report{finished.port, *finished.upgrade, finished.start,
                              QDateTime::currentDateTime()};
    const QJsonObject record = board_record(report, image);
    QString error;
    // A board is never counted without its record.
    if (log.is_open() && !log.append(record_line(record), &error)) {
        clear_status();
        print_error(QStringLiteral("STATION STOPPED: cannot write the record of %1 to the log "
                                   "%2: %3; this board and those in progress are not recorded")
                        .arg(finished.port.target.given, options.log_path, error));
        silenced = true;
        stop(exit_output);
        return false;
    }
    clear_status();
    const bool shown =
        print_out(options.json ? QString::fromUtf8(record_line(record)) : board_line(report));
    if (!shown) {
        print_error(QStringLiteral("STATION STOPPED: cannot write to standard output: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
        silenced = true;
        stop(exit_output);
        return false;
    }
    if (live && !stopping)
        show_status();
    return true;
}

void watch_station::interrupt()
{
    if (!stopping)
        stop(exit_interrupted);
}

void watch_station::stop(int code)
{
    // A record that cannot be written wins over why the station was stopping.
    if (!stopping || code == exit_output)
        final_code = code;
    stopping = true;
    watcher.stop();
    // An interrupted board that has gone leaves the map as it finishes.
    QList<port_upgrade *> upgrades;
    for (auto &entry : boards)
        upgrades << entry.second->upgrade.get();
    for (port_upgrade *upgrade : upgrades)
        upgrade->interrupt();
    loop.quit();
}

void watch_station::show_status()
{
    QList<const port_upgrade *> running;
    for (const auto &entry : boards)
        if (!entry.second->upgrade->is_finished())
            running << entry.second->upgrade.get();
    print_status(QStringLiteral("\r\x1b[2K") +
                 status_line(running, passed, failed, terminal_width()));
}

void watch_station::clear_status()
{
    if (live)
        print_status(QStringLiteral("\r\x1b[2K"));
}

void watch_station::note(const QString &line)
{
    // On a terminal the live line says it; a log keeps one line per event.
    if (!live)
        print_error(line);
}
