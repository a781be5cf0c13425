#include "station_log.h"

#include "durable_file.h"

#include <QFileInfo>

bool station_log::open(const QString &path_given, QString *error)
{
    path = path_given;
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    QFile last(path);
    char byte = '\n';
    if (file.size() > 0 && last.open(QIODevice::ReadOnly) && last.seek(last.size() - 1) &&
        last.getChar(&byte) && byte != '\n') {
        unterminated = true;
        notices << QStringLiteral("the log %1 ends in a record cut short; the next record "
                                  "starts on a new line")
                       .arg(path);
    }
    return true;
}

bool station_log::append(const QByteArray &line, QString *error)
{
    if (!durable_file::still_named(file, path)) {
        // Removed or rotated while the station runs: records go to the path.
        file.close();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            *error = file.errorString();
            return false;
        }
        unterminated = false;
        notices << QStringLiteral("the log %1 was removed or renamed; a new one is started there")
                       .arg(path);
    }
    if (!write_whole(unterminated ? '\n' + line : line, error))
        return false;
    unterminated = false;
    return true;
}

bool station_log::write_whole(const QByteArray &bytes, QString *error)
{
    // Only a regular file can be cut back; a pipe or a device keeps what it took.
    const bool regular = QFileInfo(file).isFile();
    const qint64 before = regular ? file.size() : 0;
    QString sync_error;
    if (file.write(bytes) == bytes.size() && durable_file::sync(file, &sync_error))
        return true;
    *error = sync_error.isEmpty() ? file.errorString() : sync_error;
    if (regular && file.size() != before &&
        !(file.resize(before) && durable_file::sync(file, &sync_error)))
        *error += QStringLiteral("; and the part written cannot be taken back: %1")
                      .arg(file.errorString());
    return false;
}

QStringList station_log::take_notices()
{
    QStringList taken;
    taken.swap(notices);
    return taken;
}
