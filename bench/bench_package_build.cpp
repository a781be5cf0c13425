// Building a package from two 8 MiB images, against a plain pass that reads
// the same files and sums their bytes.
#include "body_source.h"
#include "header_info.h"
#include "package_builder.h"
#include "package_file.h"
#include "package_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int image_size = 8 * 1024 * 1024;
constexpr int rounds = 15;

// Fastest and median of several runs, in milliseconds. The machine is
// shared, so the fastest run is the steadier figure.
struct timing
{
    double best;
    double median;
};

timing time_ms(const std::function<void()> &run)
{
    double times[rounds];
    for (double &time : times) {
        QElapsedTimer timer;
        timer.start();
        run();
        time = timer.nsecsElapsed() / 1e6;
    }
    std::sort(std::begin(times), std::end(times));
    return {times[0], times[rounds / 2]};
}

volatile quint32 sink;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString boot_path = dir.filePath(QStringLiteral("boot.bin"));
    const QString app_path = dir.filePath(QStringLiteral("app.bin"));
    const QString output_path = dir.filePath(QStringLiteral("package.bin"));
    if (!package_files::write(boot_path, package_files::random(image_size, 1)) ||
        !package_files::write(app_path, package_files::random(image_size, 2)))
        qFatal("cannot write the images");

    const timing plain = time_ms([&] {
        quint32 total = 0;
        for (const QString &path : {boot_path, app_path}) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            for (const char byte : bytes)
                total += quint8(byte);
        }
        sink = total;
    });
    std::printf("plain read and sum of 2 x 8 MiB: best %.1f ms, median %.1f ms\n", plain.best,
                plain.median);
    std::printf("figures: milliseconds, then the multiple of the plain pass\n");
    std::printf("%9s %14s %14s %14s %14s %13s\n", "check len", "build best", "build median",
                "+write best", "+write median", "package bytes");

    for (const quint32 check_len : {5u, 4096u}) {
        int package_size = 0;
        auto build = [&](bool write) {
            header_info_t header = default_header_info();
            header.check_len = check_len;
            QByteArray source;
            if (read_body_source(header, boot_path, app_path, source).status !=
                image_file::read_status::ok)
                qFatal("cannot read the images");
            QByteArray package;
            if (build_package(header, source, package) != build_status::ok)
                qFatal("build refused");
            QString error;
            if (write && !save_package_file(output_path, package, &error))
                qFatal("cannot write the package: %s", qPrintable(error));
            package_size = package.size();
        };
        const timing built = time_ms([&] { build(false); });
        const timing written = time_ms([&] { build(true); });
        // Each figure as milliseconds and as a multiple of the plain pass.
        std::printf("%9u %7.1f %5.2fx %7.1f %5.2fx %7.1f %5.2fx %7.1f %5.2fx %13d\n", check_len,
                    built.best, built.best / plain.best, built.median, built.median / plain.median,
                    written.best, written.best / plain.best, written.median,
                    written.median / plain.median, package_size);
    }
    return 0;
}
