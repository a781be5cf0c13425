#include "serial_session.h"

#include "byte_text.h"
#include "ota_frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

// The resource initialiser lives in the global namespace.
static void load_images()
{
    Q_INIT_RESOURCE(images);
}

namespace bench {

namespace {

void discard_messages(QtMsgType, const QMessageLogContext &, const QString &) {}

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

} // namespace

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

application::application(int &argc, char **argv, bool diagnostics)
    : QApplication(offscreen(argc), argv)
{
    load_images();
    qInstallMessageHandler(discard_messages);
    use_diagnostics(diagnostics);
}

// Before the application object exists, which reads it.
int &application::offscreen(int &argc)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return argc;
}

void use_diagnostics(bool on)
{
    QLoggingCategory::setFilterRules(on ? QStringLiteral("vantrel.*=true")
                                        : QStringLiteral("vantrel.*=false"));
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

double rss_mb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1.0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1.0;
}

serial_session::serial_session()
{
    window.show();
    // A descriptor of our own on the same terminal, opened before the tool
    // locks it, shows how many bytes the tool has not read yet.
    watch_fd = ::open(line.slave_path().toLocal8Bit().constData(),
                      O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    open = watch_fd >= 0 && driver.connect_to(line.slave_path());
    if (!open)
        out() << "cannot open " << line.slave_path() << '\n';
}

serial_session::~serial_session()
{
    if (watch_fd >= 0)
        ::close(watch_fd);
}

int serial_session::unread_bytes() const
{
    int count = 0;
    return ioctl(watch_fd, FIONREAD, &count) == 0 ? count : -1;
}

double serial_session::feed(qint64 bytes, int chunk_size)
{
    QByteArray chunk(chunk_size, '\0');
    const qint64 chunks = bytes / chunk_size;
    QElapsedTimer clock;
    clock.start();
    for (qint64 sent = 0; sent < chunks; ++sent) {
        for (char &byte : chunk) {
            noise_state = noise_state * 1664525u + 1013904223u;
            byte = char(noise_state >> 24);
        }
        line.write_master(chunk);
        do {
            QCoreApplication::processEvents();
        } while (unread_bytes() > 0);
    }
    last_chunk = chunk;
    return double(clock.nsecsElapsed()) / 1e9;
}

double serial_session::feed_bursts(qint64 bytes, int *largest_buffer)
{
    QByteArray noise(1 << 16, '\0');
    for (char &byte : noise) {
        noise_state = noise_state * 1664525u + 1013904223u;
        byte = char(noise_state >> 24);
    }
    std::atomic<bool> written{false};
    QElapsedTimer clock;
    clock.start();
    QByteArray piece;
    std::thread writer([&] {
        for (qint64 sent = 0; sent < bytes; sent += piece.size()) {
            piece = noise.left(int(qMin<qint64>(noise.size(), bytes - sent)));
            write_all(line.master(), piece);
        }
        written = true;
    });
    *largest_buffer = 0;
    while (!written || unread_bytes() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        *largest_buffer = qMax(*largest_buffer, window.receive_buffer_size());
    }
    writer.join();
    last_chunk = piece.right(16);
    return double(clock.nsecsElapsed()) / 1e9;
}

void serial_session::wait_for_view()
{
    const QString last_bytes = byte_text::byte_line(QString(), last_chunk).trimmed();
    QTextDocument *document = driver.text_browser()->document();
    while (!document->lastBlock().text().trimmed().endsWith(last_bytes))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

std::vector<double> serial_session::ota_turnarounds(quint32 frame_size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    QByteArray image(1 << 20, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 31 + (i >> 9)) & 0xFF);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return {};
    file.close();

    const int requests = recorder.file_requests.size();
    recorder.file_answers << path;
    driver.single_press();
    while (recorder.file_requests.size() == requests)
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
    return turnaround_us;
}

} // namespace bench
