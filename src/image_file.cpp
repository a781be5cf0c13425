#include "image_file.h"

#include <QFile>

namespace image_file {

namespace {

// A regular file: its size is known once it is open.
read_outcome append_measured(QFile &file, QByteArray &target, qint64 limit)
{
    read_outcome outcome;
    // The size is taken from the open file, so it matches what is read even
    // when the file was rebuilt since it was chosen.
    const qint64 size = file.size();
    if (size > limit) {
        outcome.status = read_status::too_large;
        outcome.size = size;
        return outcome;
    }
    const int start = target.size();
    target.resize(start + int(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(target.data() + start + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    // More bytes behind the measured end mean the file is still being written.
    if (done != size || !file.atEnd()) {
        outcome.status = read_status::read_failed;
        outcome.error_text = file.errorString();
        target.truncate(start);
        return outcome;
    }
    outcome.status = read_status::ok;
    outcome.size = size;
    return outcome;
}

// A pipe or a device reports no size: read until it ends, counting.
read_outcome append_stream(QFile &file, QByteArray &target, qint64 limit)
{
    read_outcome outcome;
    const int start = target.size();
    constexpr qint64 piece = 1 << 16;
    qint64 done = 0;
    for (;;) {
        // Reads block until data come; 0 is the end, -1 a failure.
        const qint64 room = qMin(piece, limit + 1 - done);
        target.resize(start + int(done + room));
        const qint64 got = file.read(target.data() + start + done, room);
        if (got < 0) {
            outcome.status = read_status::read_failed;
            outcome.error_text = file.errorString();
            target.truncate(start);
            return outcome;
        }
        if (got == 0)
            break;
        done += got;
        if (done > limit) {
            outcome.status = read_status::too_large;
            outcome.size = -1;
            target.truncate(start);
            return outcome;
        }
    }
    target.truncate(start + int(done));
    outcome.status = read_status::ok;
    outcome.size = done;
    return outcome;
}

} // namespace

read_outcome append_whole(const QString &path, QByteArray &target, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        read_outcome outcome;
        outcome.error_text = file.errorString();
        return outcome;
    }
    return file.isSequential() ? append_stream(file, target, limit)
                               : append_measured(file, target, limit);
}

} // namespace image_file
