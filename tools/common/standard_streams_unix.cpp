#include "standard_streams.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace standard_streams {

void prepare() {}

bool is_standard_output(const QString &path)
{
    if (path == QLatin1String("-"))
        return true;
    struct stat out = {}, target = {};
    return fstat(STDOUT_FILENO, &out) == 0 &&
           stat(QFile::encodeName(path).constData(), &target) == 0 && out.st_dev == target.st_dev &&
           out.st_ino == target.st_ino;
}

bool set_binary_output()
{
    return true;
}

} // namespace standard_streams
