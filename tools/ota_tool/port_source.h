#ifndef PORT_SOURCE_H
#define PORT_SOURCE_H

#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <memory>

// One port as the station sees it at one look.
struct seen_port
{
    // The path found, or the listed port's system location.
    QString name;
    // The listed port's short name (ttyUSB0, COM3); empty for a path.
    QString port_name;
    // What the name reaches once links are followed; empty when a link dangles.
    QString device;
    // Only a character device can be a serial port; a listed port always is.
    bool character_device = false;
    // Changes when the device node is made again under the same name.
    QString instance;
    // The adapter's USB serial number and vvvv:pppp, empty when the system lists none.
    QString serial_number, vid_pid;
};

// Where the station looks for ports: the file system and the system's list
// of serial ports. A test fills one of its own with what no pseudo-terminal
// can show (USB ids, a device node replaced between two looks).
class port_source
{
public:
    virtual ~port_source() = default;
    // The names in a folder, without the folder.
    virtual QStringList entries(const QString &folder) = 0;
    // What a path is now.
    virtual seen_port look_up(const QString &path) = 0;
    // The system's list; a walk through udev on Linux, so asked only when needed.
    virtual QList<seen_port> listed() = 0;
    // A port's modem-status lines (CTS, DSR, DCD); false when they cannot be
    // read. The port is held open from then on until release(), which must
    // come before anything else opens it.
    virtual bool modem_lines(const QString &device, QSerialPort::PinoutSignals *lines) = 0;
    virtual void release(const QString &device) = 0;
};

// The system's ports, through Qt.
std::unique_ptr<port_source> system_port_source();

#endif // PORT_SOURCE_H
