#ifndef IMAGE_FILE_H
#define IMAGE_FILE_H

#include <QByteArray>
#include <QString>

// Reading a boot or application image whole.
namespace image_file {

// The package header keeps image sizes in 32 bits.
constexpr qint64 max_header_size = 0xFFFFFFFFLL;
// Two images and their check sums must fit in one package held in memory.
constexpr qint64 max_image_size = 0x3FFF0000;

enum class read_status
{
    ok,
    open_failed,
    too_large,
    read_failed
};

struct read_result
{
    read_status status = read_status::open_failed;
    QByteArray bytes;
    // The system's reason when the file could not be opened or read.
    QString error_text;
};

read_result read_whole(const QString &path);

} // namespace image_file

#endif // IMAGE_FILE_H
