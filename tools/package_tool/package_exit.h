#ifndef PACKAGE_EXIT_H
#define PACKAGE_EXIT_H

// Exit codes of vantrel-package (documented in README.md).
namespace package_exit {
enum code
{
    ok = 0,
    check_failed = 1, // verify: a check failed; inspect: no header to read
    usage = 2,        // unknown command or option, missing argument
    file_error = 3,   // an input could not be read or the output written
    refused = 4,      // the inputs cannot make a package (same rules as the window)
};
} // namespace package_exit

#endif // PACKAGE_EXIT_H
