#include "serial_line.h"

namespace serial_line {

bool is_lost(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
        return true;
    default:
        return false;
    }
}

qint64 wire_ms(qint64 bytes, qint32 baud)
{
    if (baud <= 0 || bytes <= 0)
        return 0;
    return bytes * 10 * 1000 / baud;
}

} // namespace serial_line
