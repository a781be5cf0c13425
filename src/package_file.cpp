#include "package_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Unbuffered, so that a short write (a full disk takes what fits and says
// nothing) is seen: the next write then fails with the system's reason.
bool write_all(QFileDevice &file, const QByteArray &package, QString *error)
{
    qint64 done = 0;
    while (done < package.size()) {
        const qint64 step = file.write(package.constData() + done, package.size() - done);
        if (step <= 0) {
            *error = file.errorString();
            return false;
        }
        done += step;
    }
    return true;
}

} // namespace

bool save_package_file(const QString &path, const QByteArray &package, QString *error)
{
    const QFileInfo given(path);
    // Through every link to the file it ends at (or would, for a new one).
    const QString target = !given.isSymLink() ? path
                           : given.exists()   ? given.canonicalFilePath()
                                              : given.symLinkTarget();
    const QFileInfo existing(target);
    // Devices and pipes take the bytes as they come: there is nothing to
    // replace.
    if (existing.exists() && !existing.isFile()) {
        QFile device(target);
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            *error = device.errorString();
            return false;
        }
        return write_all(device, package, error);
    }

    QSaveFile file(target);
    // A folder that takes no new file but whose package may be rewritten.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (!write_all(file, package, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
