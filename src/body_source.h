#ifndef BODY_SOURCE_H
#define BODY_SOURCE_H

#include "header_info.h"
#include "image_file.h"

#include <QByteArray>
#include <QString>

struct body_source_result
{
    image_file::read_status status = image_file::read_status::ok;
    // The image that failed, and the system's reason.
    QString path;
    QString error_text;
};

// Reads the images that the header selects into one body source, boot
// first, and writes the size of each into the header: an image may have
// been rebuilt since it was chosen, and the header must describe the bytes
// that the body carries. Stops at the first image that cannot be read.
body_source_result read_body_source(header_info_t &header, const QString &boot_path,
                                    const QString &app_path, QByteArray &source);

#endif // BODY_SOURCE_H
