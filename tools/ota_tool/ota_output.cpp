#include "ota_output.h"

#include "interrupt_notifier.h"
#include "ota_options.h"
#include "port_lookup.h"
#include "port_upgrade.h"
#include "standard_streams.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>

namespace {

constexpr int bar_width = 20;
constexpr int redraw_interval_ms = 200;

QString json_line(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + '\n';
}

// Columns padded to their widest cell; the last one is left as it is.
QString table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows)
        for (int column = 0; column < row.size(); ++column) {
            if (widths.size() <= column)
                widths << 0;
            widths[column] = qMax(widths[column], row[column].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2)
                                            : row[column];
        text += line.trimmed() + '\n';
    }
    return text;
}

QString kib(double bytes)
{
    return QString::number(bytes / 1024.0, 'f', 1);
}

QString minutes_seconds(double seconds)
{
    const qint64 whole = qint64(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

bool print_ports(const QList<QSerialPortInfo> &ports, bool json)
{
    if (json) {
        QString text;
        for (const QSerialPortInfo &info : ports) {
            text += json_line(QJsonObject{{QStringLiteral("name"), info.portName()},
                                          {QStringLiteral("location"), info.systemLocation()},
                                          {QStringLiteral("description"), info.description()},
                                          {QStringLiteral("manufacturer"), info.manufacturer()},
                                          {QStringLiteral("serial_number"), info.serialNumber()},
                                          {QStringLiteral("vid_pid"), usb_ids(info)}});
        }
        return text.isEmpty() || standard_streams::write_utf8(stdout, text);
    }
    if (ports.isEmpty()) {
        standard_streams::print_error(QStringLiteral("no serial ports found"));
        return true;
    }
    QList<QStringList> rows{{QStringLiteral("NAME"), QStringLiteral("LOCATION"),
                             QStringLiteral("VID:PID"), QStringLiteral("SERIAL"),
                             QStringLiteral("MANUFACTURER"), QStringLiteral("DESCRIPTION")}};
    for (const QSerialPortInfo &info : ports) {
        const auto cell = [](const QString &text) {
            return text.isEmpty() ? QStringLiteral("-") : text;
        };
        rows << QStringList{info.portName(),           info.systemLocation(),
                            cell(usb_ids(info)),       cell(info.serialNumber()),
                            cell(info.manufacturer()), cell(info.description())};
    }
    return standard_streams::write_utf8(stdout, table(rows));
}

QString result_word(const port_upgrade &upgrade)
{
    switch (upgrade.result()) {
    case port_upgrade::outcome::running:
        return QStringLiteral("running");
    case port_upgrade::outcome::succeeded:
        return QStringLiteral("succeeded");
    case port_upgrade::outcome::refused:
        return QStringLiteral("refused");
    case port_upgrade::outcome::port_error:
        return QStringLiteral("port_error");
    case port_upgrade::outcome::timed_out:
        return QStringLiteral("timeout");
    case port_upgrade::outcome::interrupted:
        return QStringLiteral("interrupted");
    }
    return QString();
}

int result_exit_code(const port_upgrade &upgrade)
{
    switch (upgrade.result()) {
    case port_upgrade::outcome::succeeded:
        return ota_exit::ok;
    case port_upgrade::outcome::running:
    case port_upgrade::outcome::refused:
        return ota_exit::refused;
    case port_upgrade::outcome::port_error:
        return ota_exit::port;
    case port_upgrade::outcome::timed_out:
        return ota_exit::timeout;
    case port_upgrade::outcome::interrupted:
        return ota_exit::interrupted;
    }
    return ota_exit::refused;
}

int combined_exit_code(int so_far, int board_code)
{
    for (const int code :
         {ota_exit::interrupted, ota_exit::port, ota_exit::timeout, ota_exit::refused}) {
        if (code == so_far || code == board_code)
            return code;
    }
    return ota_exit::ok;
}

void print_status(const QString &text)
{
    standard_streams::write_utf8(stderr, text);
}

progress_display::progress_display(const QList<port_upgrade *> &upgrades, bool live,
                                   QObject *parent)
    : QObject(parent), upgrades(upgrades), live(live)
{
    for (int index = 0; index < upgrades.size(); ++index) {
        logged_tenths << 0;
        port_width = qMax(port_width, upgrades[index]->target().shown().size());
        connect(upgrades[index], &port_upgrade::progressed, this,
                [this, index] { port_progressed(index); });
        connect(upgrades[index], &port_upgrade::finished, this,
                [this, index] { port_progressed(index); });
    }
    // Drawing on every frame would cost more than the transfer itself.
    redraw_timer.setInterval(redraw_interval_ms);
    connect(&redraw_timer, &QTimer::timeout, this, [this] {
        if (dirty)
            redraw();
    });
    if (live) {
        redraw();
        redraw_timer.start();
    }
}

void progress_display::finish()
{
    redraw_timer.stop();
    if (live)
        redraw();
}

void progress_display::port_progressed(int index)
{
    if (live) {
        dirty = true;
        return;
    }
    const port_upgrade &upgrade = *upgrades[index];
    if (upgrade.result() != port_upgrade::outcome::running &&
        upgrade.result() != port_upgrade::outcome::succeeded)
        return;
    const int tenths = upgrade.percent() / 10;
    if (tenths <= logged_tenths[index])
        return;
    logged_tenths[index] = tenths;
    standard_streams::write_utf8(stderr, QStringLiteral("%1: %2% (%3/%4 bytes, %5 s)\n")
                                             .arg(upgrade.target().shown())
                                             .arg(tenths * 10)
                                             .arg(upgrade.bytes_sent())
                                             .arg(upgrade.image_size())
                                             .arg(upgrade.seconds(), 0, 'f', 1));
}

QString progress_display::live_line(const port_upgrade &upgrade) const
{
    const int percent = qBound(0, upgrade.percent(), 100);
    const int filled = percent * bar_width / 100;
    const double seconds = upgrade.seconds();
    const double sent = upgrade.bytes_sent();
    const double rate = seconds > 0 ? sent / seconds : 0;
    QString line = QStringLiteral("%1 [%2%3] %4%  %5/%6 KiB  %7 KiB/s")
                       .arg(upgrade.target().shown().leftJustified(port_width))
                       .arg(QString(filled, '#'), QString(bar_width - filled, '-'))
                       .arg(percent, 3)
                       .arg(kib(sent), kib(upgrade.image_size()), kib(rate));
    if (!upgrade.is_finished()) {
        if (rate > 0)
            line += QStringLiteral("  %1 left")
                        .arg(minutes_seconds((upgrade.image_size() - sent) / rate));
    } else {
        line += QStringLiteral("  %1 %2").arg(result_word(upgrade), upgrade.reason());
    }
    return line;
}

void progress_display::redraw()
{
    QString text;
    if (drawn)
        text += QStringLiteral("\x1b[%1A").arg(upgrades.size());
    for (const port_upgrade *upgrade : upgrades)
        text += QStringLiteral("\r\x1b[2K") + live_line(*upgrade) + '\n';
    standard_streams::write_utf8(stderr, text);
    drawn = true;
    dirty = false;
}

bool print_summary(const QList<port_upgrade *> &upgrades, bool json)
{
    if (json) {
        QString text;
        for (const port_upgrade *upgrade : upgrades) {
            text += json_line(QJsonObject{
                {QStringLiteral("port"), upgrade->target().given},
                {QStringLiteral("location"), upgrade->target().location()},
                {QStringLiteral("result"), result_word(*upgrade)},
                {QStringLiteral("exit_code"), result_exit_code(*upgrade)},
                {QStringLiteral("bytes"), qint64(upgrade->bytes_confirmed())},
                {QStringLiteral("bytes_sent"), qint64(upgrade->bytes_sent())},
                {QStringLiteral("image_bytes"), qint64(upgrade->image_size())},
                {QStringLiteral("slice_size"), qint64(upgrade->slice_size())},
                {QStringLiteral("seconds"), qRound(upgrade->seconds() * 1000) / 1000.0},
                {QStringLiteral("reason"), upgrade->reason()},
                {QStringLiteral("notices"), QJsonArray::fromStringList(upgrade->notices())}});
        }
        return standard_streams::write_utf8(stdout, text);
    }
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("RESULT"),
                             QStringLiteral("BYTES"), QStringLiteral("SECONDS"),
                             QStringLiteral("REASON")}};
    for (const port_upgrade *upgrade : upgrades) {
        rows << QStringList{
            upgrade->target().shown(), result_word(*upgrade),
            QStringLiteral("%1/%2").arg(upgrade->bytes_confirmed()).arg(upgrade->image_size()),
            QString::number(upgrade->seconds(), 'f', 2), upgrade->reason()};
    }
    return standard_streams::write_utf8(stdout, table(rows));
}
