#include "serial_line.h"

#include <sys/ioctl.h>

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

bool send_now(QSerialPort &port)
{
    int queued = -1;
    if (::ioctl(int(port.handle()), TIOCOUTQ, &queued) != 0 || queued != 0)
        return false;
    return port.flush();
}

} // namespace serial_line
