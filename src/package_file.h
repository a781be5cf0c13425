#ifndef PACKAGE_FILE_H
#define PACKAGE_FILE_H

#include <QByteArray>
#include <QString>

// Writes a finished package. A file is written whole beside its final name,
// synced and then put in place of the old one, so a package that was there
// stays whole until the new one is complete, whatever fails (a full disk, a
// write cut short). A link is written where it points; a device or a pipe
// is written directly. On failure *error holds the system's reason.
bool save_package_file(const QString &path, const QByteArray &package, QString *error);

#endif // PACKAGE_FILE_H
