#include "watch_output.h"

#include "ota_output.h"
#include "port_upgrade.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace {

constexpr int ports_shown = 4;

QString iso_time(const QDateTime &time)
{
    // Local time with its offset from UTC written out.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

QJsonObject board_record(const board_report &board, const station_image &image)
{
    const port_upgrade &upgrade = board.upgrade;
    return QJsonObject{{QStringLiteral("start"), iso_time(board.start)},
                       {QStringLiteral("end"), iso_time(board.end)},
                       {QStringLiteral("port"), board.port.target.given},
                       {QStringLiteral("device"), board.port.device},
                       {QStringLiteral("serial_number"), board.port.serial_number},
                       {QStringLiteral("vid_pid"), board.port.vid_pid},
                       {QStringLiteral("image"), image.path},
                       {QStringLiteral("image_bytes"), qint64(image.bytes.size())},
                       {QStringLiteral("image_sha256"), image.sha256},
                       {QStringLiteral("tool_version"), QStringLiteral(VANTREL_VERSION)},
                       {QStringLiteral("result"), result_word(upgrade)},
                       {QStringLiteral("exit_code"), result_exit_code(upgrade)},
                       {QStringLiteral("reason"), upgrade.reason()},
                       {QStringLiteral("bytes"), qint64(upgrade.bytes_confirmed())},
                       {QStringLiteral("seconds"), qRound(upgrade.seconds() * 1000) / 1000.0},
                       {QStringLiteral("started_on"), board.started_on}};
}

QByteArray record_line(const QJsonObject &record)
{
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

QString board_line(const board_report &board)
{
    const bool passed = board.upgrade.result() == port_upgrade::outcome::succeeded;
    return QStringLiteral("%1  %2  %3  %4  %5 s  %6")
        .arg(board.end.toString(QStringLiteral("HH:mm:ss")), board.port.target.given,
             board.port.serial_number.isEmpty() ? QStringLiteral("-") : board.port.serial_number,
             passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
        .arg(board.upgrade.seconds(), 0, 'f', 2)
        .arg(board.upgrade.reason());
}

QString status_line(const QList<const port_upgrade *> &running, int passed, int failed,
                    const QString &presence_line, int width)
{
    QStringList boards;
    for (const port_upgrade *upgrade : running.mid(0, ports_shown))
        boards << QStringLiteral("%1 %2%")
                      .arg(QFileInfo(upgrade->target().given).fileName())
                      .arg(upgrade->percent());
    if (running.size() > ports_shown)
        boards << QStringLiteral("+%1").arg(running.size() - ports_shown);
    const QString rule = presence_line.isEmpty()
                             ? QStringLiteral("boards start when plugged in")
                             : QStringLiteral("boards start when %1 rises").arg(presence_line);
    const QString on = presence_line.isEmpty() ? QString() : QStringLiteral(" on ") + presence_line;
    const QString doing = running.isEmpty() ? QStringLiteral("waiting for boards (%1)").arg(rule)
                                            : QStringLiteral("%1 in progress%2: %3")
                                                  .arg(running.size())
                                                  .arg(on, boards.join(QStringLiteral(", ")));
    return QStringLiteral("%1 | passed %2, failed %3")
        .arg(doing)
        .arg(passed)
        .arg(failed)
        .left(width);
}
