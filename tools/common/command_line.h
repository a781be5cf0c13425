#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

// How the companion programs take their command lines, all the same way.
namespace command_line {

// The arguments after the program name, as text. Fails with *refused naming
// the first argument that the system's encoding cannot carry as given (a
// file name with a byte that is not UTF-8): opening it by its decoded text
// would read or write another file. Call after the application object
// exists.
bool arguments(int argc, char *argv[], QStringList *arguments, QString *refused);

// Parses the arguments of `command`: short options with their value
// attached or separate (-p/dev/ttyUSB0, -p /dev/ttyUSB0), long ones with "="
// or a separate value, "--" ends the options. On failure *error names the
// option or argument at fault.
bool parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
           QString *error);

// What a program with commands runs for each command name, given the
// arguments after it.
using commands = std::map<QString, std::function<int(const QStringList &)>>;
// Runs the command that the command line names first: "--help" and "-h" run
// "help". Without a command, with an unknown one or with an argument that
// arguments() refuses, says so on standard error and returns the usage
// error status (2). Call after the application object exists.
int run_command(int argc, char *argv[], const commands &commands);

// Call before the application object exists. The programs wait on serial
// ports alone; Qt's own event loop takes one poll per wake-up, where the GLib
// one also wakes itself through an event descriptor each time a port's write
// notifier comes and goes, several times a frame for every board. Set in the
// environment, QT_NO_GLIB still decides.
void prefer_plain_event_loop();

} // namespace command_line

#endif // COMMAND_LINE_H
