#ifndef SEND_NOW_H
#define SEND_NOW_H

#include <QSerialPort>

namespace serial_output {

// Hands what the port has buffered to the driver at once instead of on the
// next turn of the event loop, where it would wait behind every other port's
// events. On Unix only while the driver's own queue is empty: a write it
// cannot take fails, and the serial port reports that as a lost device.
// Returns whether it did.
bool send_now(QSerialPort &port);

} // namespace serial_output

#endif // SEND_NOW_H
