#ifndef PACKAGE_FILES_H
#define PACKAGE_FILES_H

#include <QByteArray>
#include <QString>

// Files for the package maker's tests and benchmarks: writing, reading, content.
namespace package_files {

// Writes the bytes to path (replacing it); false when that fails.
bool write(const QString &path, const QByteArray &bytes);
// The whole file, or an empty array when it cannot be read.
QByteArray read(const QString &path);
// n bytes counting up from `first`, wrapping at 256.
QByteArray counting(int count, int first = 1);
// n pseudo-random bytes, the same for the same seed.
QByteArray random(int count, quint32 seed);

} // namespace package_files

#endif // PACKAGE_FILES_H
