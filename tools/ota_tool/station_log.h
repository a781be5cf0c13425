#ifndef STATION_LOG_H
#define STATION_LOG_H

#include <QByteArray>
#include <QString>

// The station's record file: opened for appending, one line per board, each
// on disk (written and synced) before append() returns true.
class station_log
{
public:
    station_log() = default;
    ~station_log();
    station_log(const station_log &) = delete;
    station_log &operator=(const station_log &) = delete;

    // False with the system's reason in *error.
    bool open(const QString &path, QString *error);
    bool is_open() const { return fd >= 0; }
    bool append(const QByteArray &line, QString *error);

private:
    int fd = -1;
};

#endif // STATION_LOG_H
