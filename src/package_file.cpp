#include "package_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Devices and pipes take the bytes as they come: there is nothing to
// replace.
bool write_directly(const QString &path, const QByteArray &package, QString *error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(package) == package.size() && file.flush())
        return true;
    *error = file.errorString();
    return false;
}

} // namespace

bool save_package_file(const QString &path, const QByteArray &package, QString *error)
{
    const QFileInfo given(path);
    const QString target = given.isSymLink() ? given.symLinkTarget() : path;
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isFile())
        return write_directly(target, package, error);

    QSaveFile file(target);
    // A folder that takes no new file but whose package may be rewritten.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(package) != package.size()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
