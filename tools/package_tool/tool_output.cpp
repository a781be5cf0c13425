#include "tool_output.h"

#include <QTextStream>

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
