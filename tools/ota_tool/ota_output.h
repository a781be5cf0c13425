#ifndef OTA_OUTPUT_H
#define OTA_OUTPUT_H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <QTimer>

#include "standard_streams.h"

class port_upgrade;

// What vantrel-ota's commands show: ports, progress, summaries.
// Results go to standard output, progress and messages to standard error
// (standard_streams). What writes to standard output returns whether all of
// it got there.

// `ports`: one row (or JSON object) per serial port.
bool print_ports(const QList<QSerialPortInfo> &ports, bool json);

// The word for a port's result in the table and in JSON, and its exit code.
QString result_word(const port_upgrade &upgrade);
int result_exit_code(const port_upgrade &upgrade);
// The code of a run so far with one more board's: 130, then 4, 5, 1.
int combined_exit_code(int so_far, int board_code);
// A live line on standard error, written as it is.
void print_status(const QString &text);

// Progress of all ports on standard error. On a terminal one live line per
// port, redrawn a few times a second; otherwise one line per port at each
// 10 % of its data frames.
class progress_display : public QObject
{
    Q_OBJECT

public:
    progress_display(const QList<port_upgrade *> &upgrades, bool live, QObject *parent = nullptr);
    // Draws the final state (live mode); call once every port has finished.
    void finish();

private:
    void port_progressed(int index);
    void redraw();
    QString live_line(const port_upgrade &upgrade) const;

    QList<port_upgrade *> upgrades;
    QList<int> logged_tenths;
    bool live;
    bool drawn = false;
    bool dirty = false;
    // Live lines line their bars up.
    int port_width = 0;
    QTimer redraw_timer;
};

// The summary table, or one JSON object per port, on standard output.
bool print_summary(const QList<port_upgrade *> &upgrades, bool json);

#endif // OTA_OUTPUT_H
