#ifndef PORT_WATCHER_H
#define PORT_WATCHER_H

#include "port_lookup.h"
#include "port_source.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTimer>

// A port that matches the station's patterns, keyed by the device it reaches.
struct found_port
{
    // Opened by its device, so that one board under two names, in this
    // station or another, is locked once.
    port_target target;
    // The device once links are followed: one board under two names is one port.
    QString device;
    // The adapter's USB serial number and VID:PID, empty when the system lists none.
    QString serial_number;
    QString vid_pid;
    QString instance;
};

// Looks for matching ports a few times a second and reports those that
// appear and disappear. A pattern is a path glob (/dev/ttyUSB*), a glob on the
// names of listed ports (COM*, ttyUSB*), VVVV:PPPP in hexadecimal for listed
// adapters with those ids, or sn:GLOB on their serial numbers. Only character
// devices are ports. Ports present at the first look appear then; a device
// node made again between two looks disappears and appears.
class port_watcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int interval_ms = 200;

    // Empty when the pattern is usable, else why not.
    static QString pattern_error(const QString &pattern);

    port_watcher(const QStringList &patterns, port_source &source, QObject *parent = nullptr);
    // Looks at once, then every interval_ms.
    void start();
    void stop() { timer.stop(); }
    void look();

signals:
    void appeared(const found_port &port);
    void disappeared(const found_port &port);
    // After every look, once its ports have been reported.
    void looked();

private:
    QStringList expand(const QString &pattern);

    QStringList patterns;
    port_source &source;
    QMap<QString, found_port> present;
    QTimer timer;
};

#endif // PORT_WATCHER_H
