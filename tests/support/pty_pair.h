#pragma once
#include <QByteArray>
#include <QString>
#include <unistd.h>

// A pseudo-terminal pair standing in for a serial line: the tool opens the slave by its path,
// the test reads and writes the master.
class pty_pair
{
public:
    pty_pair();
    ~pty_pair() { close_master(); }
    pty_pair(const pty_pair &) = delete;
    pty_pair &operator=(const pty_pair &) = delete;
    bool is_valid() const { return master_fd >= 0; }
    QString slave_path() const { return slave_name; }
    int master() const { return master_fd; }
    // What the other side wrote, until `count` bytes or `timeout_ms` without more; the event
    // loop keeps running.
    QByteArray read_master(int count, int timeout_ms = 2000);
    // What has arrived, up to `limit` bytes, without waiting (events run once).
    QByteArray read_available(int limit = 1 << 30);
    bool write_master(const QByteArray &bytes);
    void close_master() { ::close(master_fd), master_fd = -1; } // as if the device went away

private:
    int master_fd = -1;
    QString slave_name;
};
