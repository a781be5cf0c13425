#include "port_lookup.h"

#include <QFileInfo>

QString port_target::location() const
{
    if (listed)
        return info.systemLocation();
#ifdef Q_OS_WIN
    // COM3, \\.\COM10: the serial port takes them as they are.
    return path;
#endif
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1String("./")) ||
        path.startsWith(QLatin1String("../")))
        return path;
    return QStringLiteral("/dev/") + path;
}

QString port_target::shown() const
{
    return names_serial_number(given) ? given : location();
}

QString port_target::device() const
{
    const QString canonical = QFileInfo(location()).canonicalFilePath();
    return canonical.isEmpty() ? location() : canonical;
}

port_target find_port(const QString &given, const QList<QSerialPortInfo> &available)
{
    port_target target;
    target.given = given;
    if (names_serial_number(given)) {
        const QString serial = given.mid(3);
        QList<QSerialPortInfo> matches;
        for (const QSerialPortInfo &info : available)
            if (info.serialNumber() == serial)
                matches << info;
        if (matches.isEmpty()) {
            target.error = QStringLiteral("no serial port with serial number %1").arg(serial);
        } else if (matches.size() > 1) {
            // Two adapters with one serial number: flashing either would be a guess.
            QStringList locations;
            for (const QSerialPortInfo &info : matches)
                locations << info.systemLocation();
            target.error = QStringLiteral("serial number %1 is shared by %2")
                               .arg(serial, locations.join(QStringLiteral(", ")));
        } else {
            target.listed = true;
            target.info = matches.first();
        }
        return target;
    }
    for (const QSerialPortInfo &info : available) {
        if (info.portName() == given || info.systemLocation() == given) {
            target.listed = true;
            target.info = info;
            return target;
        }
    }
    target.path = given;
    return target;
}

QString usb_ids(const QSerialPortInfo &info)
{
    if (!info.hasVendorIdentifier() || !info.hasProductIdentifier())
        return QString();
    return QStringLiteral("%1:%2")
        .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
}
