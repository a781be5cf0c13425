#ifndef STANDARD_STREAMS_H
#define STANDARD_STREAMS_H

#include <QByteArray>
#include <QString>

#include <cstdio>

// The companion programs' standard streams, the same in every program and on
// every system: results on standard output, messages on standard error, all
// as UTF-8 whatever the locale.
namespace standard_streams {

// Call first in main() with the name that starts each message. A Windows
// console then shows the UTF-8 text as it is meant instead of in its own
// code page.
void prepare(const char *program);

// `text` on standard output, with a line feed after it where it has none.
// Returns whether all of it got there (errno says why not); a failure is
// remembered for standard_output_failed().
bool print_out(const QString &text);
// "PROGRAM: line" on standard error.
void print_error(const QString &line);
// Whether a write to standard output has failed (a full disk, a closed
// pipe): results that did not arrive must not end in success.
bool standard_output_failed();
// `text` as it is, flushed at once; false when not all of it got there.
bool write_utf8(std::FILE *stream, const QString &text);

// Asked before each write: once it says the operator's terminal has gone (a
// hang-up, a closed console), writes to a terminal count as done, and so
// does a write that fails for that reason; a file or a pipe still gets them.
void set_terminal_gone_check(bool (*gone)());

bool is_terminal(std::FILE *stream);
// Columns a line may use without wrapping; 79 when the system does not say.
int width(std::FILE *stream);
// A reader that goes away (`| head -1`) makes writes fail instead of ending
// the process.
void keep_going_on_closed_pipe();

// Whether `path` names the file or device that standard output goes to (a
// package written there as a file would be mixed with the report line).
bool is_standard_output(const QString &path);

// Switches standard output to binary where the system has a text mode.
bool set_binary_output();
// The system's side of prepare().
void prepare_console();
// Whether a failed write failed because the terminal hung up.
bool failed_for_hang_up();

// Writes `bytes` to standard output exactly as given: on Windows standard
// output is switched to binary first, where text mode would turn every 0A
// into 0D 0A. Fails with *error saying why.
bool write_binary(const QByteArray &bytes, QString *error);

} // namespace standard_streams

#endif // STANDARD_STREAMS_H
