#include "build_command.h"
#include "command_line.h"
#include "package_exit.h"
#include "read_commands.h"
#include "standard_streams.h"

#include <QCoreApplication>

namespace {

QString usage()
{
    return QStringLiteral("Usage: vantrel-package COMMAND [options]\n"
                          "Commands:\n"
                          "  build     make an upgrade package (see build --help)\n"
                          "  inspect   print the header fields of a package\n"
                          "  verify    check a package; exit status 1 names the first failed "
                          "check\n"
                          "Exit status: 0 ok, 1 check failed, 2 usage error, 3 file error,\n"
                          "4 inputs refused.\n\n") +
           build_usage();
}

} // namespace

int main(int argc, char *argv[])
{
    standard_streams::prepare("vantrel-package");
    QCoreApplication application(argc, argv);
    const int code = command_line::run_command(argc, argv,
                                               {{QStringLiteral("help"),
                                                 [](const QStringList &) {
                                                     standard_streams::print_out(usage());
                                                     return package_exit::ok;
                                                 }},
                                                {QStringLiteral("build"), run_build},
                                                {QStringLiteral("inspect"), run_inspect},
                                                {QStringLiteral("verify"), run_verify}});
    // The package, the header or the verdict did not reach its reader.
    if (standard_streams::standard_output_failed() && code != package_exit::usage) {
        standard_streams::print_error(QStringLiteral("cannot write to standard output"));
        return package_exit::file_error;
    }
    return code;
}
