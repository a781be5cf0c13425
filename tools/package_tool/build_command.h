#ifndef BUILD_COMMAND_H
#define BUILD_COMMAND_H

#include <QStringList>

// `build`: makes a package from options that mirror the header form.
int run_build(const QStringList &arguments);
QString build_usage();

#endif // BUILD_COMMAND_H
