// Reads arbitrary files as upgrade packages, as vantrel-package inspect and verify do with files
// from anywhere. Whatever the reader accepts must be exactly the package the builder makes from it.
#include "package_builder.h"
#include "package_format.h"
#include "package_reader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy, so that reading past the end is caught (fromRawData has no NUL).
    const QByteArray package(reinterpret_cast<const char *>(data), int(size));
    const package_report report = read_package(package);
    package_check_name(report.failed);
    if (!report.ok())
        return 0;
    QByteArray source;
    qint64 at = package_format::header_size;
    qint64 remaining = report.body_source_size;
    for (qint64 block = 0; block < report.block_count; ++block) {
        const qint64 count = qMin<qint64>(remaining, report.header.check_len);
        source += package.mid(int(at), int(count));
        at += count + package_format::block_sum_size;
        remaining -= count;
    }
    QByteArray rebuilt;
    if (build_package(report.header, source, rebuilt) != build_status::ok || rebuilt != package)
        abort();
    return 0;
}
