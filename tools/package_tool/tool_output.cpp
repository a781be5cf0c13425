#include "tool_output.h"

#include <QFile>
#include <QTextStream>

#include <sys/stat.h>
#include <unistd.h>

void print_out(const QString &line)
{
    QTextStream out(stdout);
    out << line << '\n';
}

void print_error(const QString &line)
{
    QTextStream err(stderr);
    err << "vantrel-package: " << line << '\n';
}

bool is_standard_output(const QString &path)
{
    if (path == QLatin1String("-"))
        return true;
    struct stat out = {}, target = {};
    return fstat(STDOUT_FILENO, &out) == 0 &&
           stat(QFile::encodeName(path).constData(), &target) == 0 && out.st_dev == target.st_dev &&
           out.st_ino == target.st_ino;
}
