#include "body_source.h"

#include <QFileInfo>

namespace {

bool append_image(const QString &path, quint32 &header_size, QByteArray &source,
                  body_source_result &result)
{
    const image_file::read_outcome outcome = image_file::append_whole(path, source);
    if (outcome.status != image_file::read_status::ok) {
        result.status = outcome.status;
        result.path = path;
        result.error_text = outcome.error_text;
        return false;
    }
    header_size = quint32(outcome.size);
    return true;
}

} // namespace

body_source_result read_body_source(header_info_t &header, const QString &boot_path,
                                    const QString &app_path, QByteArray &source)
{
    body_source_result result;
    const bool boot = header.boot_upgrade_flag == upgrade_flag_yes;
    const bool app = header.app_upgrade_flag == upgrade_flag_yes;
    source.clear();
    // One allocation for both images when their sizes are as expected.
    const qint64 expected =
        (boot ? QFileInfo(boot_path).size() : 0) + (app ? QFileInfo(app_path).size() : 0);
    if (expected <= 2 * image_file::max_image_size)
        source.reserve(int(expected));
    if (boot && !append_image(boot_path, header.boot_file_size, source, result))
        return result;
    if (app && !append_image(app_path, header.app_file_size, source, result))
        return result;
    return result;
}
