#ifndef PTY_PAIR_H
#define PTY_PAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial line: the tool opens the
// slave by its path, the test reads and writes the master.
class pty_pair
{
public:
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair &) = delete;
    pty_pair &operator=(const pty_pair &) = delete;

    bool is_valid() const { return master_fd >= 0; }
    QString slave_path() const { return slave_name; }
    int master() const { return master_fd; }

    // Everything written by the other side until `count` bytes have arrived or
    // `timeout_ms` passed without more; the Qt event loop keeps running.
    QByteArray read_master(int count, int timeout_ms = 2000);
    // What has arrived so far, without waiting (the event loop runs once).
    QByteArray read_available();
    bool write_master(const QByteArray &bytes);
    // Closes the master, as if the device went away.
    void close_master();

private:
    int master_fd = -1;
    QString slave_name;
};

#endif // PTY_PAIR_H
