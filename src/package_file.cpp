#include "package_file.h"

#include <QFile>
#include <QFileInfo>

bool save_package_file(const QString &path, const QByteArray &package, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // A write that stops short (a full disk) reports nothing; the next one
    // fails and gives the system's reason.
    qint64 done = 0;
    while (done < package.size()) {
        const qint64 step = file.write(package.constData() + done, package.size() - done);
        if (step <= 0)
            break;
        done += step;
    }
    bool written = done == package.size() && file.flush();
    // close() forgets the reason of a failed write.
    QString reason = file.errorString();
    file.close();
    if (written && file.error() != QFileDevice::NoError) {
        written = false;
        reason = file.errorString();
    }
    if (!written) {
        *error = reason;
        // Only a regular file is removed: never a device or what a link names.
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            file.remove();
    }
    return written;
}
