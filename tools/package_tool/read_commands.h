#ifndef READ_COMMANDS_H
#define READ_COMMANDS_H

#include <QStringList>

// `inspect` prints the header fields of a package; `verify` runs every check.
int run_inspect(const QStringList &arguments);
int run_verify(const QStringList &arguments);

#endif // READ_COMMANDS_H
