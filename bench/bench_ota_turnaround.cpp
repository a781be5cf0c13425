// OTA host turnaround: over a pseudo-terminal with a device that answers at
// once, the time from an acknowledgement's arrival to the next data frame
// being written, for a 1 MiB image. Every frame is echoed in the view.
#include "byte_text.h"
#include "ota_frame.h"
#include "serial_session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace {

using bench::out;
using bench::percentile;

void run(quint32 frame_size)
{
    bench::serial_session session;
    if (!session.is_open())
        return;
    main_window_driver &driver = session.driver;
    const std::vector<double> turnaround_us = session.ota_turnarounds(frame_size);
    if (turnaround_us.size() < 10) {
        out() << "too few frames\n";
        return;
    }
    // The view has caught up once it shows the device's end response.
    QElapsedTimer catch_up;
    catch_up.start();
    const QString end_line =
        byte_text::byte_line(QStringLiteral("收: "), ota_frame::build_end_frame()).trimmed();
    QTextDocument *document = driver.text_browser()->document();
    while ((document->lastBlock().text().trimmed() != end_line ||
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
    out() << QStringLiteral("frame size %1: %2 turnarounds; view shows the last answer "
                            "%3 ms after it came; status %4\n")
                 .arg(frame_size)
                 .arg(turnaround_us.size())
                 .arg(catch_up.elapsed())
                 .arg(driver.status_label()->text());
    out() << QStringLiteral("  first 10%: median %1 us, p99 %2 us\n")
                 .arg(percentile(first, 0.5), 0, 'f', 1)
                 .arg(percentile(first, 0.99), 0, 'f', 1);
    out() << QStringLiteral("  last 10%:  median %1 us, p99 %2 us (median %3x the first)\n")
                 .arg(percentile(last, 0.5), 0, 'f', 1)
                 .arg(percentile(last, 0.99), 0, 'f', 1)
                 .arg(percentile(last, 0.5) / percentile(first, 0.5), 0, 'f', 2);
    // Line use: wire time / (wire time + turnaround); the payload share of
    // it is n / (n + 23), the stop-and-wait limit.
    const double payload_share = double(frame_size) / double(frame_size + 23);
    for (const auto &[label, values] :
         {std::make_pair("first", &first), std::make_pair("last", &last)}) {
        const double line_use = efficiency(percentile(*values, 0.5));
        out() << QStringLiteral("  at 115200 baud, %1 10%: line use %2%, payload %3% (limit %4%)\n")
                     .arg(QLatin1String(label))
                     .arg(line_use, 0, 'f', 1)
                     .arg(line_use * payload_share, 0, 'f', 1)
                     .arg(100.0 * payload_share, 0, 'f', 1);
    }
    out().flush();
}

} // namespace

int main(int argc, char *argv[])
{
    bench::application app(argc, argv, false);
    out() << "OTA host turnaround, 1 MiB image, acknowledgement to next data frame\n";
    for (const quint32 frame_size : {256u, 1024u})
        run(frame_size);
    return 0;
}
