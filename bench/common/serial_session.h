#ifndef SERIAL_SESSION_H
#define SERIAL_SESSION_H

#include "dialog_recorder.h"
#include "mainwindow.h"
#include "pty_pair.h"
#include "window_driver.h"

#include <QApplication>
#include <QTextStream>
#include <vector>

// What the benchmarks share: a real main window connected to a
// pseudo-terminal, bytes fed to it as a talkative device would, and an OTA
// upgrade against a device that answers at once.
namespace bench {

QTextStream &out();

// The application object of a benchmark with windows: offscreen, resources
// loaded, debug log silenced (formatted, then discarded when `diagnostics`
// is set).
class application : public QApplication
{
public:
    application(int &argc, char **argv, bool diagnostics);

private:
    static int &offscreen(int &argc);
};
void use_diagnostics(bool on);

double percentile(std::vector<double> values, double p);
// Resident set size of this process, in MB.
double rss_mb();

class serial_session
{
public:
    serial_session();
    ~serial_session();
    serial_session(const serial_session &) = delete;
    serial_session &operator=(const serial_session &) = delete;

    bool is_open() const { return open; }
    // Sends `bytes` bytes of noise in `chunk_size` chunks, each taken by a
    // read of its own, and returns the seconds it took.
    double feed(qint64 bytes, int chunk_size);
    // Keeps the terminal full with `bytes` bytes of noise from a thread of its
    // own, so that each read takes whatever the kernel has gathered, as from a
    // busy USB adapter; returns the seconds it took and sets *largest_buffer
    // to the largest receive buffer seen after a read.
    double feed_bursts(qint64 bytes, int *largest_buffer);
    // Runs the event loop until the view shows the last chunk fed.
    void wait_for_view();
    // Upgrades with a 1 MiB image in slices of `frame_size`; returns the time
    // from each acknowledgement being written to the next data frame's first
    // byte, in microseconds (empty when the upgrade did not run).
    std::vector<double> ota_turnarounds(quint32 frame_size);

    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    main_window_driver driver{&window};

private:
    int unread_bytes() const;

    int watch_fd = -1;
    bool open = false;
    quint32 noise_state = 12345;
    QByteArray last_chunk;
};

} // namespace bench

#endif // SERIAL_SESSION_H
