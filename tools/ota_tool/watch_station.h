#ifndef WATCH_STATION_H
#define WATCH_STATION_H

#include "interrupt_notifier.h"
#include "ota_options.h"
#include "port_source.h"
#include "port_upgrade.h"
#include "port_watcher.h"
#include "station_log.h"
#include "watch_output.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLockFile>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

// A flashing station: every matching port that appears is upgraded at once
// with its own port_upgrade, the others going on; after its result a port is
// left alone until it disappears, and the board in it when it comes back is a
// new board, whatever its old upgrade was doing. On a fixture whose adapters
// stay plugged in, a board starts instead when the port's presence line
// rises, and is a new board once the line has fallen. Each finished board is
// recorded (when there is a log) before it is shown. A port that another
// program holds is no board of this station: it is tried again until it is
// free.
class watch_station : public QObject
{
    Q_OBJECT

public:
    watch_station(const watch_options &options, const station_image &image,
                  std::unique_ptr<port_source> source = system_port_source(),
                  QObject *parent = nullptr);
    // Runs until --count boards have finished, a request to stop, or a
    // record or result that cannot be written; returns the exit code.
    int run();

    // run() in steps, for a caller with its own event loop: begin() opens the
    // log (false when it cannot) and starts watching for requests to stop;
    // scan() looks for ports once; finish() ends what is still running,
    // prints the summary and returns the exit code.
    bool begin();
    void scan() { watcher.look(); }
    bool is_stopping() const { return stopping; }
    int finish();

    // The lock every station takes on a device before it opens it.
    static QString lock_path(const QString &device);

private:
    struct board
    {
        found_port port;
        std::unique_ptr<port_upgrade> upgrade;
        std::unique_ptr<QLockFile> lock;
        QDateTime start;
        // Which rule started it: "port" (its port appeared) or the presence line.
        QString started_on;
        bool present = true;
    };

    void port_appeared(const found_port &port);
    void port_disappeared(const found_port &port);
    void after_look();
    void check_presence();
    bool start_board(const found_port &port, const QString &started_on);
    void board_finished(board *finished);
    bool report(const board &finished);
    void interrupt();
    void stop(int code);
    void show_status();
    void clear_status();
    void note(const QString &line);
    void message(const QString &line);

    watch_options options;
    station_image image;
    std::unique_ptr<port_source> source;
    port_watcher watcher;
    station_log log;
    interrupt_notifier interrupts;
    QEventLoop loop;
    QTimer status_timer;
    bool live = false;
    std::map<QString, std::unique_ptr<board>> boards; // by device
    // Present, but held by another program.
    std::map<QString, found_port> waiting;
    // With a presence line: the fixture's ports, whose boards start when it rises.
    std::map<QString, found_port> fixtures;
    QSerialPort::PinoutSignal presence_line = QSerialPort::NoSignal;
    int started = 0, passed = 0, failed = 0, interrupted = 0;
    int worst_code = ota_exit::ok;
    bool stopping = false;
    // A record or result could not be written: nothing more is reported.
    bool silenced = false;
    int final_code = ota_exit::ok;
};

#endif // WATCH_STATION_H
