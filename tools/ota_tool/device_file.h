#ifndef DEVICE_FILE_H
#define DEVICE_FILE_H

#include <QString>

// What the file system says about a device node.
namespace device_file {

// A character device, as every serial port is; a regular file, a folder or a
// pipe that a pattern matches is no port.
bool is_character_device(const QString &path);
// Changes when the node is made again under the same name (one adapter
// pulled out and another plugged in between two looks); empty when the
// system cannot tell.
QString instance(const QString &path);

} // namespace device_file

#endif // DEVICE_FILE_H
