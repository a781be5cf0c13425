#include "watch_station.h"

#include "ota_output.h"
#include "standard_streams.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace {

constexpr int status_interval_ms = 200;

} // namespace

watch_station::watch_station(const watch_options &options, const station_image &image,
                             std::unique_ptr<port_source> source, QObject *parent)
    : QObject(parent), options(options), image(image), source(std::move(source)),
      watcher(options.patterns, *this->source), live(standard_streams::is_terminal(stderr))
{
    connect(&watcher, &port_watcher::appeared, this, &watch_station::port_appeared);
    connect(&watcher, &port_watcher::disappeared, this, &watch_station::port_disappeared);
    connect(&watcher, &port_watcher::looked, this, &watch_station::after_look);
    if (options.present == QLatin1String("cts"))
        presence_line = QSerialPort::ClearToSendSignal;
    else if (options.present == QLatin1String("dsr"))
        presence_line = QSerialPort::DataSetReadySignal;
    else if (options.present == QLatin1String("dcd"))
        presence_line = QSerialPort::DataCarrierDetectSignal;
    connect(&interrupts, &interrupt_notifier::interrupted, this, &watch_station::interrupt);
    status_timer.setInterval(status_interval_ms);
    connect(&status_timer, &QTimer::timeout, this, &watch_station::show_status);
}

QString watch_station::lock_path(const QString &device)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    return QDir::temp().filePath(QStringLiteral("vantrel-ota-") +
                                 QString(device).replace(unsafe, QStringLiteral("_")) +
                                 QStringLiteral(".lock"));
}

int watch_station::run()
{
    if (!begin())
        return final_code;
    watcher.start();
    if (!stopping)
        loop.exec();
    return finish();
}

bool watch_station::begin()
{
    QString error;
    if (!options.log_path.isEmpty() && !log.open(options.log_path, &error)) {
        standard_streams::print_error(
            QStringLiteral("cannot open the log %1: %2").arg(options.log_path, error));
        final_code = ota_exit::output;
        return false;
    }
    for (const QString &line : log.take_notices())
        standard_streams::print_error(line);
    if (!interrupts.install())
        standard_streams::print_error(
            QStringLiteral("cannot watch for requests to stop; they end the station at "
                           "once"));
    if (live) {
        show_status();
        status_timer.start();
    }
    return true;
}

int watch_station::finish()
{
    if (!stopping)
        stop(final_code);
    status_timer.stop();
    clear_status();
    standard_streams::print_error(QStringLiteral("passed %1, failed %2, interrupted %3")
                                      .arg(passed)
                                      .arg(failed)
                                      .arg(interrupted));
    return final_code;
}

void watch_station::port_appeared(const found_port &port)
{
    const auto known = boards.find(port.device);
    if (known != boards.end()) {
        // Gone and back (or another adapter under the same device) before
        // its upgrade noticed: whatever is in the port now is a new board.
        known->second->upgrade->lose(
            QStringLiteral("port lost (device gone): removed while its upgrade was running"));
        if (boards.count(port.device) != 0)
            return;
    }
    if (presence_line != QSerialPort::NoSignal)
        fixtures[port.device] = port;
    else
        start_board(port, QStringLiteral("port"));
}

bool watch_station::start_board(const found_port &port, const QString &started_on)
{
    if (stopping || interrupt_notifier::requested() ||
        (options.count > 0 && started >= options.count))
        return false;
    auto lock = std::make_unique<QLockFile>(lock_path(port.device));
    // Held as long as the station runs this board or leaves it alone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (waiting.count(port.device) == 0)
            message(QStringLiteral("%1: in use by another program; taken when it is free")
                        .arg(port.target.given));
        waiting[port.device] = port;
        return false;
    }
    if (waiting.count(port.device) == 0)
        note(QStringLiteral("%1: found (%2)").arg(port.target.given, port.device));
    auto added = std::make_unique<board>();
    board *plugged = added.get();
    plugged->port = port;
    plugged->lock = std::move(lock);
    plugged->started_on = started_on;
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
    // Still ours unless another program had the port open.
    if (boards.count(port.device) != 0)
        waiting.erase(port.device);
    return true;
}

void watch_station::port_disappeared(const found_port &port)
{
    waiting.erase(port.device);
    fixtures.erase(port.device);
    source->release(port.device);
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

void watch_station::after_look()
{
    if (presence_line != QSerialPort::NoSignal)
        return check_presence();
    const std::map<QString, found_port> ports = waiting;
    for (const auto &entry : ports)
        if (boards.count(entry.first) == 0)
            start_board(entry.second, QStringLiteral("port"));
}

void watch_station::check_presence()
{
    for (const auto &entry : fixtures) {
        const auto known = boards.find(entry.first);
        // A board in progress holds its port; the line is read again once it ends.
        if (known != boards.end() && !known->second->upgrade->is_finished())
            continue;
        QSerialPort::PinoutSignals lines;
        const bool raised = source->modem_lines(entry.first, &lines) && (lines & presence_line);
        if (known != boards.end()) {
            // Fallen: the board has been taken off, the next one is new.
            if (!raised)
                boards.erase(known);
        } else if (raised) {
            source->release(entry.first);
            start_board(entry.second, options.present);
        }
        if (stopping)
            return;
    }
}

void watch_station::board_finished(board *finished)
{
    const QString device = finished->port.device;
    if (finished->upgrade->port_busy() && !stopping) {
        // Not a board of ours: opened by another program first.
        --started;
        if (waiting.count(device) == 0)
            message(QStringLiteral("%1: in use by another program; taken when it is free")
                        .arg(finished->port.target.given));
        waiting[device] = finished->port;
        finished->upgrade.release()->deleteLater();
        boards.erase(device);
        return;
    }
    if (silenced)
        return;
    const int code = result_exit_code(*finished->upgrade);
    if (!report(*finished))
        return;
    if (code == ota_exit::ok)
        ++passed;
    else if (code == ota_exit::interrupted)
        ++interrupted;
    else
        ++failed;
    worst_code = combined_exit_code(worst_code, code);
    if (!finished->present) {
        // Called from its own signal: the upgrade goes once that returns.
        finished->upgrade.release()->deleteLater();
        boards.erase(device);
    }
    if (!stopping && options.count > 0 && passed + failed + interrupted >= options.count)
        stop(worst_code);
}

bool watch_station::report(const board &finished)
{
    const board_report report{finished.port, *finished.upgrade, finished.start,
                              QDateTime::currentDateTime(), finished.started_on};
    const QJsonObject record = board_record(report, image);
    QString error;
    // A board is never counted without its record.
    if (log.is_open() && !log.append(record_line(record), &error)) {
        clear_status();
        standard_streams::print_error(
            QStringLiteral("STATION STOPPED: cannot write the record of %1 to the log "
                           "%2: %3; this board and those in progress are not recorded")
                .arg(finished.port.target.given, options.log_path, error));
        silenced = true;
        stop(ota_exit::output);
        return false;
    }
    for (const QString &line : log.take_notices())
        message(line);
    clear_status();
    const bool shown = standard_streams::print_out(
        options.json ? QString::fromUtf8(record_line(record)) : board_line(report));
    if (!shown) {
        standard_streams::print_error(
            QStringLiteral("STATION STOPPED: cannot write to standard output: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        silenced = true;
        stop(ota_exit::output);
        return false;
    }
    if (live && !stopping)
        show_status();
    return true;
}

void watch_station::interrupt()
{
    if (!stopping)
        stop(ota_exit::interrupted);
}

void watch_station::stop(int code)
{
    // A record that cannot be written wins over why the station was stopping.
    if (!stopping || code == ota_exit::output)
        final_code = code;
    stopping = true;
    watcher.stop();
    waiting.clear();
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
    print_status(QStringLiteral("\r\x1b[2K") + status_line(running, passed, failed,
                                                           options.present.toUpper(),
                                                           standard_streams::width(stderr)));
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
        standard_streams::print_error(line);
}

void watch_station::message(const QString &line)
{
    clear_status();
    standard_streams::print_error(line);
    if (live && !stopping)
        show_status();
}
