#ifndef STANDARD_STREAMS_H
#define STANDARD_STREAMS_H

#include <QByteArray>
#include <QString>

// The companion programs' standard streams, the same on every system.
namespace standard_streams {

// Call first in main(): a Windows console shows the programs' UTF-8 text as
// it is meant instead of in its own code page.
void prepare();

// Whether `path` names the file or device that standard output goes to (a
// package written there as a file would be mixed with the report line).
bool is_standard_output(const QString &path);

// Switches standard output to binary where the system has a text mode.
bool set_binary_output();

// Writes `bytes` to standard output exactly as given: on Windows standard
// output is switched to binary first, where text mode would turn every 0A
// into 0D 0A. Fails with *error saying why.
bool write_binary(const QByteArray &bytes, QString *error);

} // namespace standard_streams

#endif // STANDARD_STREAMS_H
