// Receive path throughput: bytes per second absorbed in 64-byte chunks (red
// line into the view plus frame search), at start and after 10 MB shown.
#include "serial_session.h"

#include <QApplication>
#include <QElapsedTimer>

namespace {

using bench::out;
const int chunk_size = 64;
const double line_rate = 11520.0; // 115200 baud, 8N1

// Seconds until `bytes` bytes, each chunk taken by its own read, are shown.
double feed(bench::serial_session &session, qint64 bytes)
{
    QElapsedTimer clock;
    clock.start();
    session.feed(bytes, chunk_size);
    session.wait_for_view();
    return double(clock.nsecsElapsed()) / 1e9;
}

void report(const char *label, qint64 bytes, double seconds)
{
    const double rate = double(bytes) / seconds;
    out() << QStringLiteral("  %1: %2 B/s, %3x the line rate, %4 us per chunk\n")
                 .arg(QLatin1String(label))
                 .arg(rate, 0, 'f', 0)
                 .arg(rate / line_rate, 0, 'f', 1)
                 .arg(seconds * 1e6 / double(bytes / chunk_size), 0, 'f', 1);
    out().flush();
}

void run(bool diagnostics, qint64 fill_bytes)
{
    bench::serial_session session;
    if (!session.is_open())
        return;
    // The first read of the view is one paragraph already (the empty one).
    session.feed(1, 1);
    session.wait_for_view();

    bench::use_diagnostics(diagnostics);
    out() << (diagnostics ? "diagnostic lines on (formatted, then discarded):\n"
                          : "diagnostic lines off:\n");
    const qint64 sample = 1 << 20;
    report("at start, 1 MB", sample, feed(session, sample));
    if (fill_bytes > 0) {
        const double fill_seconds = feed(session, fill_bytes - sample);
        out() << QStringLiteral("  (filled to %1 MB shown in %2 s)\n")
                     .arg(fill_bytes / 1000000)
                     .arg(fill_seconds, 0, 'f', 1);
        report("after 10 MB, 1 MB", sample, feed(session, sample));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    bench::application app(argc, argv, true);
    out() << "Receive path, 64-byte chunks (line rate 11520 B/s)\n";
    run(true, 0);
    run(false, 10000000);
    return 0;
}
