#pragma once
#include "pty_pair.h"

#include <atomic>
#include <thread>

// A null-modem cable of two pseudo-terminals: what is written to one slave can be read from the
// other. A thread copies between the masters, so both ends are real ttys that a QSerialPort (in
// this process or another) opens by path, and either end may close and reopen.
class pty_link
{
public:
    pty_link();
    ~pty_link();
    bool is_valid() const { return first.is_valid() && second.is_valid(); }
    QString first_path() const { return first.slave_path(); }
    QString second_path() const { return second.slave_path(); }

private:
    pty_pair first, second;
    std::atomic<bool> stopping{false};
    std::thread worker;
};
