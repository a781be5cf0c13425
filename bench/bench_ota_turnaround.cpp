// OTA host turnaround: over a pseudo-terminal with a device that answers at
// once, the time from an acknowledgement's arrival to the next data frame
// being written, for a 1 MiB image. The view keeps every echoed line.
#include "dialog_recorder.h"
#include "window_driver.h"
#include "mainwindow.h"
#include "ota_frame.h"
#include "pty_pair.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QTextStream out(stdout);

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// Blocks until one whole frame has come from the master (no event loop:
// this runs on the device's own thread). Sets *first_byte_ns to the time the
// frame's first byte was seen.
QByteArray read_frame(int fd, QByteArray &pending, const QElapsedTimer &clock,
                      qint64 *first_byte_ns)
{
    bool seen = !pending.isEmpty();
    if (seen && first_byte_ns)
        *first_byte_ns = clock.nsecsElapsed();
    for (;;) {
        const QByteArray frame = ota_frame::take_frame_by_length(pending);
        if (!frame.isEmpty())
            return frame;
        pollfd descriptor{fd, POLLIN, 0};
        if (poll(&descriptor, 1, 5000) <= 0)
            return QByteArray();
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            if (!seen && first_byte_ns)
                *first_byte_ns = clock.nsecsElapsed();
            seen = true;
            pending.append(buffer, int(got));
        }
    }
}

void write_all(int fd, const QByteArray &bytes)
{
    int written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += int(n);
        } else {
            pollfd descriptor{fd, POLLOUT, 0};
            poll(&descriptor, 1, 10);
        }
    }
}

// The device: answers the start request and every data frame at once, on a
// thread of its own, and records each turnaround.
std::vector<double> play_device(int fd, quint32 frame_size)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray pending;
    std::vector<double> turnaround_us;
    if (read_frame(fd, pending, clock, nullptr).isEmpty())
        return turnaround_us;
    QByteArray size(4, '\0');
    size[2] = char(frame_size >> 8);
    size[3] = char(frame_size);
    write_all(fd, ota_frame::build_frame(ota_frame::command_start, size));
    const QByteArray ack = ota_frame::build_frame(ota_frame::command_data, QByteArray(1, 1));
    qint64 ack_written_ns = -1;
    for (;;) {
        qint64 arrived_ns = 0;
        const QByteArray frame = read_frame(fd, pending, clock, &arrived_ns);
        if (frame.isEmpty())
            break;
        if (ack_written_ns >= 0 && ota_frame::command_of(frame) == ota_frame::command_data)
            turnaround_us.push_back(double(arrived_ns - ack_written_ns) / 1000.0);
        if (ota_frame::command_of(frame) == ota_frame::command_end) {
            write_all(fd, ota_frame::build_end_frame());
            break;
        }
        write_all(fd, ack);
        ack_written_ns = clock.nsecsElapsed();
    }
    return turnaround_us;
}

void run(quint32 frame_size, const QString &image_path)
{
    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    window.show();
    main_window_driver driver(&window);
    if (!driver.connect_to(line.slave_path())) {
        out << "cannot open " << line.slave_path() << '\n';
        return;
    }
    recorder.file_answers << image_path;
    driver.single_press();
    while (recorder.file_requests.isEmpty())
        QCoreApplication::processEvents();

    // The master is non-blocking; the device thread polls it.
    std::vector<double> turnaround_us;
    std::atomic<bool> done{false};
    std::thread device([&] {
        turnaround_us = play_device(line.master(), frame_size);
        done = true;
    });
    driver.double_press();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    device.join();
    if (turnaround_us.size() < 10) {
        out << "too few frames\n";
        return;
    }
    // Every frame and every answer ends up as a paragraph of the view:
    // start, data frames and end each way.
    QElapsedTimer catch_up;
    catch_up.start();
    const int data_frames = int(turnaround_us.size()) + 1;
    const int paragraphs = 2 * (data_frames + 2);
    QTextDocument *document = driver.text_browser()->document();
    while ((document->blockCount() < paragraphs ||
            driver.status_label()->text() != QStringLiteral("OTA成功")) &&
           catch_up.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);

    const size_t tenth = std::max<size_t>(1, turnaround_us.size() / 10);
    const std::vector<double> first(turnaround_us.begin(), turnaround_us.begin() + tenth);
    const std::vector<double> last(turnaround_us.end() - tenth, turnaround_us.end());
    const double wire_s = double(frame_size + 13 + 10) * 10.0 / 115200.0;
    auto efficiency = [&](double turnaround) {
        return 100.0 * wire_s / (wire_s + turnaround / 1e6);
    };
    out << QStringLiteral("frame size %1: %2 turnarounds; view shows %3 of %4 paragraphs "
                          "%5 ms after the last answer; status %6\n")
               .arg(frame_size)
               .arg(turnaround_us.size())
               .arg(document->blockCount())
               .arg(paragraphs)
               .arg(catch_up.elapsed())
               .arg(driver.status_label()->text());
    out << QStringLiteral("  first 10%: median %1 us, p99 %2 us\n")
               .arg(percentile(first, 0.5), 0, 'f', 1)
               .arg(percentile(first, 0.99), 0, 'f', 1);
    out << QStringLiteral("  last 10%:  median %1 us, p99 %2 us (median %3x the first)\n")
               .arg(percentile(last, 0.5), 0, 'f', 1)
               .arg(percentile(last, 0.99), 0, 'f', 1)
               .arg(percentile(last, 0.5) / percentile(first, 0.5), 0, 'f', 2);
    // Line use: wire time / (wire time + turnaround); the payload share of
    // it is n / (n + 23), the stop-and-wait limit.
    const double payload_share = double(frame_size) / double(frame_size + 23);
    for (const auto &[label, values] :
         {std::make_pair("first", &first), std::make_pair("last", &last)}) {
        const double line_use = efficiency(percentile(*values, 0.5));
        out << QStringLiteral("  at 115200 baud, %1 10%: line use %2%, payload %3% (limit %4%)\n")
                   .arg(QLatin1String(label))
                   .arg(line_use, 0, 'f', 1)
                   .arg(line_use * payload_share, 0, 'f', 1)
                   .arg(100.0 * payload_share, 0, 'f', 1);
    }
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(images);
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    QByteArray image(1 << 20, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 31 + (i >> 9)) & 0xFF);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();

    out << "OTA host turnaround, 1 MiB image, acknowledgement to next data frame\n";
    for (const quint32 frame_size : {256u, 1024u})
        run(frame_size, path);
    return 0;
}
