#ifndef STATION_LOG_H
#define STATION_LOG_H

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// The station's record file: opened for appending, one line per board. A
// record is whole in the file or not there: append() returns true once the
// line is on disk, and a write that fails leaves the file as it was. Records
// always go to the path given, also after the file was removed or rotated.
class station_log
{
public:
    // False with the system's reason in *error.
    bool open(const QString &path, QString *error);
    bool is_open() const { return file.isOpen(); }
    bool append(const QByteArray &line, QString *error);
    // What the operator should know about the file since the last call: a
    // record cut short by an earlier run, a file started again.
    QStringList take_notices();

private:
    bool write_whole(const QByteArray &bytes, QString *error);

    QString path;
    QFile file;
    // The file ends in a line without its line feed (a record cut short).
    bool unterminated = false;
    QStringList notices;
};

#endif // STATION_LOG_H
