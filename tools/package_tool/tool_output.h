#ifndef TOOL_OUTPUT_H
#define TOOL_OUTPUT_H

#include <QString>

// Exit codes of vantrel-package (documented in README.md).
enum exit_code
{
    exit_ok = 0,
    exit_check_failed = 1, // verify: a check failed; inspect: no header to read
    exit_usage = 2,        // unknown command or option, missing argument
    exit_file_error = 3,   // an input could not be read or the output written
    exit_refused = 4,      // the inputs cannot make a package (same rules as the window)
};

// One line on standard output / standard error, as UTF-8.
void print_out(const QString &line);
void print_error(const QString &line);
// Whether a write to standard output has failed (a full disk, a closed
// pipe): results that did not arrive must not end in success.
bool standard_output_failed();

#endif // TOOL_OUTPUT_H
