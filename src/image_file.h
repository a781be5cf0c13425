#ifndef IMAGE_FILE_H
#define IMAGE_FILE_H

#include <QByteArray>
#include <QString>

// Reading a boot or application image whole.
namespace image_file {

// Two images and their check sums must fit in one package held in memory;
// this also keeps every image size within the header's 32 bits.
constexpr qint64 max_image_size = 0x3FFF0000;

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
    // Bytes appended.
    qint64 size = 0;
    // The system's reason when the file could not be opened or read.
    QString error_text;
};

// Appends the complete file to `target`; on failure `target` is unchanged.
read_outcome append_whole(const QString &path, QByteArray &target);

} // namespace image_file

#endif // IMAGE_FILE_H
