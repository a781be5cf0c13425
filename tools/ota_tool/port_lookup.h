#ifndef PORT_LOOKUP_H
#define PORT_LOOKUP_H

#include <QList>
#include <QSerialPortInfo>
#include <QString>

// Where a --port argument leads.
struct port_target
{
    // The argument as given; results are reported under it.
    QString given;
    // What to open: a listed port, or a path used as it stands.
    bool listed = false;
    QSerialPortInfo info;
    QString path;
    // Set when the argument names nothing that can be opened.
    QString error;

    // The device path that is opened: a name without a leading "/", "./" or
    // "../" is looked up under /dev, as the serial port does.
    QString location() const;
    // How the port is shown: the path opened, or sn:SERIAL as given.
    QString shown() const;
    // The device that path reaches once links are followed: one board under
    // two names (ttyUSB0, a /dev/serial/by-id link) is one device.
    QString device() const;
};

// sn:SERIAL names an adapter by its USB serial number.
inline bool names_serial_number(const QString &given)
{
    return given.startsWith(QLatin1String("sn:"));
}

// sn:SERIAL picks the one listed adapter with that USB serial number; a name
// or system location picks that listed port; anything else is a device path.
port_target find_port(const QString &given, const QList<QSerialPortInfo> &available);

// VID:PID as four lower-case hex digits each, or empty without them.
QString usb_ids(const QSerialPortInfo &info);

#endif // PORT_LOOKUP_H
