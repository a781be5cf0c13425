#include "build_command.h"
#include "command_line.h"
#include "read_commands.h"
#include "standard_streams.h"
#include "tool_output.h"

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

int run(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        print_out(usage());
        return exit_ok;
    }
    if (command == QLatin1String("build"))
        return run_build(arguments);
    if (command == QLatin1String("inspect"))
        return run_inspect(arguments);
    if (command == QLatin1String("verify"))
        return run_verify(arguments);
    print_error(QStringLiteral("unknown command '%1'; try --help").arg(command));
    return exit_usage;
}

} // namespace

int main(int argc, char *argv[])
{
    standard_streams::prepare();
    QCoreApplication application(argc, argv);
    QStringList arguments;
    QString refused;
    if (!command_line::arguments(argc, argv, &arguments, &refused)) {
        print_error(refused);
        return exit_usage;
    }
    if (arguments.isEmpty()) {
        print_error(QStringLiteral("no command given; try --help"));
        return exit_usage;
    }
    const QString command = arguments.takeFirst();
    const int code = run(command, arguments);
    // The package, the header or the verdict did not reach its reader.
    if (standard_output_failed() && code != exit_usage) {
        print_error(QStringLiteral("cannot write to standard output"));
        return exit_file_error;
    }
    return code;
}
