#ifndef WATCH_OUTPUT_H
#define WATCH_OUTPUT_H

#include "port_watcher.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

class port_upgrade;

// What every record of a station names about the image it flashes.
struct station_image
{
    QString path; // absolute: records outlive the working folder
    QByteArray bytes;
    QString sha256;
};

// One finished board as the station reports it.
struct board_report
{
    const found_port &port;
    const port_upgrade &upgrade;
    QDateTime start, end;
    // "port" when its port appeared, else the presence line that rose.
    QString started_on;
};

// The record of the log and of --json: times in ISO 8601 with their zone.
QJsonObject board_record(const board_report &board, const station_image &image);
QByteArray record_line(const QJsonObject &record);
// The operator's line: time, port, adapter serial number, PASS or FAIL,
// seconds and the reason in flash's words.
QString board_line(const board_report &board);
// The live line: boards in progress with their percentage, passed and failed,
// and the presence line that starts boards (empty: a port that appears), cut
// to `width` characters.
QString status_line(const QList<const port_upgrade *> &running, int passed, int failed,
                    const QString &presence_line, int width);

#endif // WATCH_OUTPUT_H
