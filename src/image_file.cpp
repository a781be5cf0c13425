#include "image_file.h"

#include <QFile>

namespace image_file {

read_result read_whole(const QString &path)
{
    read_result result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error_text = file.errorString();
        return result;
    }
    // The size is taken from the open file, so it matches what is read even
    // when the file was rebuilt since it was chosen.
    const qint64 size = file.size();
    if (size > max_image_size) {
        result.status = read_status::too_large;
        return result;
    }
    result.bytes.resize(int(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(result.bytes.data() + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    // More bytes behind the measured end mean the file is still being written.
    if (done != size || !file.atEnd()) {
        result.status = read_status::read_failed;
        result.error_text = file.errorString();
        result.bytes.clear();
        return result;
    }
    result.status = read_status::ok;
    return result;
}

} // namespace image_file
