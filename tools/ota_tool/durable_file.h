#ifndef DURABLE_FILE_H
#define DURABLE_FILE_H

#include <QString>

class QFile;

// What QFile leaves to the system for a file that must survive a crash or a
// power cut, and outlive an operator's rm.
namespace durable_file {

// Everything written to the open file is on the disk; false with the reason.
// A terminal or a pipe has nothing to sync and succeeds.
bool sync(QFile &file, QString *error);
// The path still names the open file: it has not been removed or renamed
// away (log rotation) since it was opened.
bool still_named(QFile &file, const QString &path);

} // namespace durable_file

#endif // DURABLE_FILE_H
