// Receive path throughput: bytes per second absorbed in 64-byte chunks (red
// line into the view plus frame search), at start and after 10 MB shown.
#include "dialog_recorder.h"
#include "main_window_driver.h"
#include "mainwindow.h"
#include "pty_pair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextStream>

namespace {

QTextStream out(stdout);
const int chunk_size = 64;
const double line_rate = 11520.0; // 115200 baud, 8N1

void discard_messages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Sends `bytes` bytes in 64-byte chunks, each taken by its own read, and
// returns the seconds it took.
double feed(pty_pair &line, QTextBrowser *view, qint64 bytes, quint32 &state)
{
    QByteArray chunk(chunk_size, '\0');
    QElapsedTimer clock;
    clock.start();
    for (qint64 sent = 0; sent < bytes; sent += chunk_size) {
        for (char &byte : chunk) {
            state = state * 1664525u + 1013904223u;
            byte = char(state >> 24);
        }
        const int paragraphs = view->document()->blockCount();
        line.write_master(chunk);
        while (view->document()->blockCount() == paragraphs)
            QCoreApplication::processEvents();
    }
    return double(clock.nsecsElapsed()) / 1e9;
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
    if (!driver.connect_to(line.slave_path()))
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
    report("at start, 1 MB", sample, feed(line, view, sample, state));
    if (fill_bytes > 0) {
        const double fill_seconds = feed(line, view, fill_bytes - sample, state);
        out << QStringLiteral("  (filled to %1 MB shown in %2 s)\n")
                   .arg(fill_bytes / 1000000)
                   .arg(fill_seconds, 0, 'f', 1);
        report("after 10 MB, 1 MB", sample, feed(line, view, sample, state));
    }
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
