// A long session with a device that talks without pause: received bytes fed
// through the real window on a pseudo-terminal as fast as it takes them, in
// small chunks and in bursts that keep the terminal full. Prints what a new
// line costs as the view grows (the measurement behind the view's size
// limit), the receive rate in each tenth of a long feed, the largest receive
// buffer after a read, the memory at its end, and the OTA turnaround after
// 50 MB against a fresh window.
#include "byte_text.h"
#include "serial_session.h"
#include "terminal_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QTextDocument>

#include <climits>
#include <ctime>
#include <vector>

namespace {

using bench::out;

double thread_cpu_us()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// Processor time (not wall time: other processes share the machine) of one
// received line of `chunk_size` bytes, shown the way the window shows it, in
// a view without a limit, at growing sizes.
void line_cost_by_view_size(int chunk_size, const std::vector<double> &sizes)
{
    MainWindow window;
    window.show();
    auto *browser = window.findChild<QTextBrowser *>(QStringLiteral("text_browser"));
    auto *view = new terminal_view(browser, INT_MAX);
    const QString paragraph = byte_text::coloured_paragraph(
        byte_text::received_colour,
        byte_text::byte_line(QStringLiteral("收: "), QByteArray(chunk_size, '\x5a')));
    out() << QStringLiteral("cost of a new %1-byte line (batches of 10 for 0.5 s):\n")
                 .arg(chunk_size);
    QStringList batch;
    for (int i = 0; i < 10; ++i)
        batch << paragraph;
    double empty_cost = 0;
    for (const double size : sizes) {
        while (browser->document()->characterCount() < size) {
            view->append(batch + batch + batch);
            QCoreApplication::processEvents();
        }
        // Work that the layout leaves to its timers counts too.
        QElapsedTimer clock;
        clock.start();
        const double start = thread_cpu_us();
        int lines = 0;
        while (clock.elapsed() < 500) {
            view->append(batch);
            lines += batch.size();
            QCoreApplication::processEvents();
        }
        const double cost = (thread_cpu_us() - start) / lines;
        if (empty_cost == 0)
            empty_cost = cost;
        const double ratio = cost / empty_cost;
        out() << QStringLiteral("  view %1 M characters, %2 M pixels tall: %3 us (%4x)\n")
                     .arg(browser->document()->characterCount() / 1e6, 0, 'f', 2)
                     .arg(browser->document()->size().height() / 1e6, 0, 'f', 2)
                     .arg(cost, 0, 'f', 1)
                     .arg(ratio, 0, 'f', 2);
        out().flush();
    }
}

double median_turnaround(bench::serial_session &session, const char *label)
{
    const std::vector<double> turnaround_us = session.ota_turnarounds(256);
    const double median = bench::percentile(turnaround_us, 0.5);
    out() << QStringLiteral("  OTA, 256-byte slices, %1: %2 turnarounds, median %3 us, p99 %4 us\n")
                 .arg(QLatin1String(label))
                 .arg(turnaround_us.size())
                 .arg(median, 0, 'f', 1)
                 .arg(bench::percentile(turnaround_us, 0.99), 0, 'f', 1);
    out().flush();
    return median;
}

// Feeds `total` bytes in tenths and prints the rate of each.
void feed_in_tenths(bench::serial_session &session, qint64 total, int chunk_size)
{
    out() << QStringLiteral("%1 MB in %2-byte chunks:\n").arg(total / 1000000).arg(chunk_size);
    double first_rate = 0;
    double first_cpu_rate = 0;
    for (int tenth = 1; tenth <= 10; ++tenth) {
        const std::clock_t cpu_before = std::clock();
        const double seconds = session.feed(total / 10, chunk_size);
        const double cpu_seconds = double(std::clock() - cpu_before) / CLOCKS_PER_SEC;
        const double rate = double(total / 10) / seconds;
        const double cpu_rate = double(total / 10) / cpu_seconds;
        if (tenth == 1) {
            first_rate = rate;
            first_cpu_rate = cpu_rate;
        }
        // Per second of processor time as well: other processes share the
        // machine and take wall time away.
        out() << QStringLiteral("  %1-%2%: %3 KB/s (%4x the first tenth); %5 KB per CPU second "
                                "(%6x)\n")
                     .arg((tenth - 1) * 10)
                     .arg(tenth * 10)
                     .arg(rate / 1000.0, 0, 'f', 0)
                     .arg(rate / first_rate, 0, 'f', 2)
                     .arg(cpu_rate / 1000.0, 0, 'f', 0)
                     .arg(cpu_rate / first_cpu_rate, 0, 'f', 2);
        out().flush();
    }
    session.wait_for_view();
    out() << QStringLiteral("  view: %1 characters; RSS at the end %2 MB\n")
                 .arg(session.driver.text_browser()->document()->characterCount())
                 .arg(bench::rss_mb(), 0, 'f', 0);
}

// Feeds `total` bytes in bursts, in tenths, and holds the figures against
// their goals: the last tenth at least 0.7x the first per second of
// processor time, the receive buffer never above 4096 bytes after a read,
// under 300 MB of memory.
void bursts_in_tenths(qint64 total, bool diagnostics)
{
    bench::use_diagnostics(diagnostics);
    bench::serial_session session;
    out() << QStringLiteral("%1 MB in bursts (the terminal kept full), diagnostics %2:\n")
                 .arg(total / 1000000)
                 .arg(diagnostics ? "on" : "off");
    double first_cpu_rate = 0, last_cpu_rate = 0;
    int largest = 0;
    for (int tenth = 1; tenth <= 10; ++tenth) {
        const std::clock_t cpu_before = std::clock();
        int largest_in_tenth = 0;
        const double seconds = session.feed_bursts(total / 10, &largest_in_tenth);
        const double cpu_seconds = double(std::clock() - cpu_before) / CLOCKS_PER_SEC;
        const double cpu_rate = double(total / 10) / cpu_seconds;
        largest = qMax(largest, largest_in_tenth);
        if (tenth == 1)
            first_cpu_rate = cpu_rate;
        last_cpu_rate = cpu_rate;
        out() << QStringLiteral("  %1-%2%: %3 KB/s; %4 KB per CPU second (%5x); largest receive "
                                "buffer %6 bytes\n")
                     .arg((tenth - 1) * 10)
                     .arg(tenth * 10)
                     .arg(double(total / 10) / seconds / 1000.0, 0, 'f', 0)
                     .arg(cpu_rate / 1000.0, 0, 'f', 0)
                     .arg(cpu_rate / first_cpu_rate, 0, 'f', 2)
                     .arg(largest_in_tenth);
        out().flush();
    }
    session.wait_for_view();
    const double rss = bench::rss_mb();
    const bool met = last_cpu_rate >= 0.7 * first_cpu_rate && largest <= 4096 && rss < 300;
    out() << QStringLiteral("  last tenth %1x the first per CPU second (goal >= 0.7), largest "
                            "receive buffer %2 bytes (goal <= 4096), RSS %3 MB (goal < 300): %4\n")
                 .arg(last_cpu_rate / first_cpu_rate, 0, 'f', 2)
                 .arg(largest)
                 .arg(rss, 0, 'f', 0)
                 .arg(met ? "met" : "NOT MET");
    out().flush();
    bench::use_diagnostics(false);
}

} // namespace

int main(int argc, char *argv[])
{
    bench::application app(argc, argv, false);
    out() << QStringLiteral("the view keeps at most %1 characters\n")
                 .arg(terminal_view::default_limit_chars);
    if (app.arguments().contains(QStringLiteral("--bursts"))) {
        for (const bool diagnostics : {false, true})
            bursts_in_tenths(100000000, diagnostics);
        return 0;
    }
    // The costs take minutes of their own: only when asked for.
    if (app.arguments().contains(QStringLiteral("--costs"))) {
        const std::vector<double> sizes = {0, 0.5e6, 1e6, 2e6, 3e6, 4e6, 6e6, 8e6, 12e6};
        line_cost_by_view_size(64, sizes);
        line_cost_by_view_size(1024, sizes);
        return 0;
    }

    double fresh = 0;
    {
        bench::serial_session session;
        fresh = median_turnaround(session, "fresh window");
    }
    for (const bool diagnostics : {false, true})
        bursts_in_tenths(100000000, diagnostics);
    {
        bench::serial_session session;
        feed_in_tenths(session, 100000000, 64);
    }
    bench::serial_session session;
    feed_in_tenths(session, 40000000, 1024);
    session.feed(10000000, 1024);
    const double after = median_turnaround(session, "after 50 MB received");
    out() << QStringLiteral("  median after 50 MB / fresh: %1x\n").arg(after / fresh, 0, 'f', 2);
    return 0;
}
