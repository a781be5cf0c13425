#include "port_source.h"

#include "device_file.h"
#include "port_lookup.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <map>

namespace {

class system_source : public port_source
{
public:
    QStringList entries(const QString &folder) override
    {
        return QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    seen_port look_up(const QString &path) override
    {
        seen_port port;
        port.name = path;
        port.device = QFileInfo(path).canonicalFilePath();
        if (!port.device.isEmpty()) {
            port.character_device = device_file::is_character_device(port.device);
            port.instance = device_file::instance(port.device);
        }
        return port;
    }

    QList<seen_port> listed() override
    {
        QList<seen_port> ports;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            seen_port port;
            port.name = info.systemLocation();
            port.port_name = info.portName();
            const QString canonical = QFileInfo(port.name).canonicalFilePath();
            port.device = canonical.isEmpty() ? port.name : canonical;
            port.character_device = true;
            port.instance = device_file::instance(port.device);
            port.serial_number = info.serialNumber();
            port.vid_pid = usb_ids(info);
            ports << port;
        }
        return ports;
    }

    bool modem_lines(const QString &device, QSerialPort::PinoutSignals *lines) override
    {
        std::unique_ptr<QSerialPort> &port = held[device];
        if (!port) {
            port = std::make_unique<QSerialPort>();
            port->setPortName(device);
        }
        if (!port->isOpen() && !port->open(QIODevice::ReadOnly))
            return false;
        port->clearError();
        *lines = port->pinoutSignals();
        return port->error() == QSerialPort::NoError;
    }

    void release(const QString &device) override { held.erase(device); }

private:
    std::map<QString, std::unique_ptr<QSerialPort>> held;
};

} // namespace

std::unique_ptr<port_source> system_port_source()
{
    return std::make_unique<system_source>();
}
