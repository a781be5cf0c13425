#ifndef SERIAL_LINE_H
#define SERIAL_LINE_H

#include <QSerialPort>

// Facts about a serial line that the window and the companion programs
// share.
namespace serial_line {

// Whether the port can carry nothing more after this error: its device or
// adapter went away, or it can no longer be read or written. Every front end
// closes the port on these and ends the upgrade; other errors (a refused
// modem line on a pseudo-terminal, a timeout of a blocking call) leave it
// open.
bool is_lost(QSerialPort::SerialPortError error);

// Milliseconds a line of `baud` needs to carry `bytes`, at 10 bits a byte
// (8 data bits, no parity, 1 stop bit), in whole milliseconds.
qint64 wire_ms(qint64 bytes, qint32 baud);

} // namespace serial_line

#endif // SERIAL_LINE_H
