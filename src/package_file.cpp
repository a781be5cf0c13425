#include "package_file.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>

bool save_package_file(const QString &path, const QByteArray &package, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QDataStream out(&file);
    bool written =
        out.writeRawData(package.constData(), package.size()) == package.size() && file.flush();
    file.close();
    written = written && file.error() == QFileDevice::NoError;
    if (!written) {
        *error = file.errorString();
        // Only a regular file is removed: never a device or what a link names.
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            file.remove();
    }
    return written;
}
