#ifndef HEX_DUMP_H
#define HEX_DUMP_H

#include <QByteArray>
#include <QString>

// The package maker's dump: two upper-case digits per byte, 32 bytes a line
// in four groups of eight (groups parted by two spaces), and an empty line
// after every 2048 bytes. Nothing follows the last byte but the separator
// its position calls for, except that a plain space is left out.
QString hex_dump_text(const QByteArray &bytes);

#endif // HEX_DUMP_H
