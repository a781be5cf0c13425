#ifndef TERMINAL_H
#define TERMINAL_H

#include <cstdio>

// What the operator's terminal (or console) can do for a standard stream.
namespace terminal {

bool is_terminal(std::FILE *stream);
// Columns a line may use without wrapping; 79 when the system does not say.
int width(std::FILE *stream);
// A reader that goes away (`| head -1`) makes writes fail instead of ending
// the process.
void keep_going_on_closed_pipe();

} // namespace terminal

#endif // TERMINAL_H
