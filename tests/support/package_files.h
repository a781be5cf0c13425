#pragma once
#include <QFile>
#include <QRandomGenerator>

namespace package_files {
inline bool write(const QString &path, const QByteArray &bytes) // false when that fails
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}
inline QByteArray read(const QString &path) // empty when unreadable
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
inline QByteArray counting(int count, int first = 1) // first, first + 1, ... wrapping at 256
{
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char(first + i);
    return bytes;
}
inline QByteArray random(int count, quint32 seed) // the same for the same seed
{
    QRandomGenerator generator(seed);
    QByteArray bytes(count, '\0');
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}
} // namespace package_files
