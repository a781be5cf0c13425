#ifndef PTY_LINK_H
#define PTY_LINK_H

#include "pty_pair.h"

#include <atomic>
#include <thread>

// A null-modem cable made of two pseudo-terminals: whatever is written to
// one slave can be read from the other. A thread copies between the two
// masters, so both ends are real tty devices that a QSerialPort (in this
// process or another) opens by path, and either end may close and reopen.
class pty_link
{
public:
    pty_link();
    ~pty_link();
    pty_link(const pty_link &) = delete;
    pty_link &operator=(const pty_link &) = delete;

    bool is_valid() const { return first.is_valid() && second.is_valid(); }
    QString first_path() const { return first.slave_path(); }
    QString second_path() const { return second.slave_path(); }

private:
    void relay();

    pty_pair first;
    pty_pair second;
    std::atomic<bool> stopping{false};
    std::thread worker;
};

#endif // PTY_LINK_H
