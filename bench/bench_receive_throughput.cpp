// Receive path throughput: bytes per second absorbed in 64-byte chunks (red
// line into the view plus frame search), at start and after 10 MB shown.
#include "dialog_recorder.h"
#include "window_driver.h"
#include "mainwindow.h"
#include "pty_pair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextStream>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);
const int chunk_size = 64;
const double line_rate = 11520.0; // 115200 baud, 8N1

void discard_messages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Bytes the tool has not read yet, seen through a descriptor of our own on
// the same terminal (opened before the tool locks it).
int unread_bytes(int watch_fd)
{
    int count = 0;
    return ioctl(watch_fd, FIONREAD, &count) == 0 ? count : -1;
}

// Sends `bytes` bytes in 64-byte chunks, each taken by its own read, and
// returns the seconds until the view shows every chunk as its own line.
double feed(pty_pair &line, int watch_fd, QTextBrowser *view, qint64 bytes, quint32 &state)
{
    QByteArray chunk(chunk_size, '\0');
    const int paragraphs_before = view->document()->blockCount();
    const qint64 chunks = bytes / chunk_size;
    QElapsedTimer clock;
    clock.start();
    for (qint64 sent = 0; sent < chunks; ++sent) {
        for (char &byte : chunk) {
            state = state * 1664525u + 1013904223u;
            byte = char(state >> 24);
        }
        line.write_master(chunk);
        do {
            QCoreApplication::processEvents();
        } while (unread_bytes(watch_fd) > 0);
    }
    while (view->document()->blockCount() < paragraphs_before + chunks)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (view->document()->blockCount() != paragraphs_before + chunks)
        out << "  (chunks were merged into fewer reads)\n";
    return seconds;
}

void report(const char *label, qint64 bytes, double seconds)
{
    const double rate = double(bytes) / seconds;
    out << QStringLiteral("  %1: %2 B/s, %3x the line rate, %4 us per chunk\n")
               .arg(QLatin1String(label))
               .arg(rate, 0, 'f', 0)
               .arg(rate / line_rate, 0, 'f', 1)
               .arg(seconds * 1e6 / double(bytes / chunk_size), 0, 'f', 1);
    out.flush();
}

void run(bool diagnostics, qint64 fill_bytes)
{
    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    window.show();
    main_window_driver driver(&window);
    const int watch_fd = ::open(line.slave_path().toLocal8Bit().constData(),
                                O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (watch_fd < 0 || !driver.connect_to(line.slave_path()))
        return;
    QTextBrowser *view = driver.text_browser();
    // The first read of the view is one paragraph already (the empty one).
    line.write_master(QByteArray(1, '\0'));
    while (view->toPlainText().isEmpty())
        QCoreApplication::processEvents();

    QLoggingCategory::setFilterRules(diagnostics ? QStringLiteral("vantrel.*=true")
                                                 : QStringLiteral("vantrel.*=false"));
    out << (diagnostics ? "diagnostic lines on (formatted, then discarded):\n"
                        : "diagnostic lines off:\n");
    quint32 state = 12345;
    const qint64 sample = 1 << 20;
    report("at start, 1 MB", sample, feed(line, watch_fd, view, sample, state));
    if (fill_bytes > 0) {
        const double fill_seconds = feed(line, watch_fd, view, fill_bytes - sample, state);
        out << QStringLiteral("  (filled to %1 MB shown in %2 s)\n")
                   .arg(fill_bytes / 1000000)
                   .arg(fill_seconds, 0, 'f', 1);
        report("after 10 MB, 1 MB", sample, feed(line, watch_fd, view, sample, state));
    }
    ::close(watch_fd);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(images);
    qInstallMessageHandler(discard_messages);
    out << "Receive path, 64-byte chunks (line rate 11520 B/s)\n";
    run(true, 0);
    run(false, 10000000);
    return 0;
}
