#pragma once
#include <QFile>
#include <QRandomGenerator>
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

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
#ifdef Q_OS_UNIX
// While it lives, a write past `bytes` is cut short and then fails, as on a full disk; programs
// started meanwhile inherit the limit.
struct disk_full_after
{
    explicit disk_full_after(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~disk_full_after() { setrlimit(RLIMIT_FSIZE, &old), std::signal(SIGXFSZ, handler); }
    rlimit old{};
    void (*handler)(int);
};
#endif
} // namespace package_files
