#include "image_file.h"

#include <QFile>

namespace image_file {

read_outcome append_whole(const QString &path, QByteArray &target)
{
    read_outcome outcome;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error_text = file.errorString();
        return outcome;
    }
    // The size is taken from the open file, so it matches what is read even
    // when the file was rebuilt since it was chosen.
    const qint64 size = file.size();
    if (size > max_image_size) {
        outcome.status = read_status::too_large;
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

} // namespace image_file
