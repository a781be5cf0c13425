#ifndef IMAGE_FILE_H
#define IMAGE_FILE_H

#include <QByteArray>
#include <QString>

#include <limits>

// Reading an image whole: a boot or application image for a package, or an
// upgrade image. A regular file is read at the size it has when opened; a
// pipe, a terminal or a device is read to its end.
namespace image_file {

// Two images and their check sums must fit in one package held in memory;
// this also keeps every image size within the header's 32 bits.
constexpr qint64 max_image_size = 0x3FFF0000;
// An upgrade image is held whole in one byte array, and its size must fit
// the start request's 32 bits.
constexpr qint64 max_upgrade_image_size = std::numeric_limits<int>::max() - 64;
constexpr qint64 max_size_in_start_request = std::numeric_limits<quint32>::max();

enum class read_status
{
    ok,
    open_failed,
    too_large,
    read_failed
};

struct read_outcome
{
    read_status status = read_status::open_failed;
    // Bytes appended; when too_large, the file's size, or -1 for a stream
    // that went on past the limit.
    qint64 size = 0;
    // The system's reason when the file could not be opened or read.
    QString error_text;
};

// Appends the complete file to `target`, refusing it as soon as it proves
// larger than `limit` bytes; on failure `target` is unchanged.
read_outcome append_whole(const QString &path, QByteArray &target, qint64 limit = max_image_size);

} // namespace image_file

#endif // IMAGE_FILE_H
