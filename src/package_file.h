#ifndef PACKAGE_FILE_H
#define PACKAGE_FILE_H

#include <QByteArray>
#include <QString>

// Writes a finished package in one write. The file is opened (and truncated)
// only here, so nothing that fails earlier can cost an existing file; a
// write that fails part-way removes what it left, so no cut-off package
// stays behind. On failure *error holds the system's reason.
bool save_package_file(const QString &path, const QByteArray &package, QString *error);

#endif // PACKAGE_FILE_H
