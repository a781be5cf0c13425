#ifndef OTA_OPTIONS_H
#define OTA_OPTIONS_H

#include "ota_exit.h"

#include <QString>
#include <QStringList>

// The options of vantrel-ota's commands (flash, watch, ports), read from
// their arguments; a refusal is said on standard error.

struct flash_options
{
    QString image_path;
    QStringList ports;
    qint32 baud_rate = 115200;
    // 0 waits for ever, as the window does.
    int timeout_ms = 5000;
    bool json = false;
    bool verbose = false;
};

struct watch_options
{
    QString image_path;
    // Path globs, VVVV:PPPP or sn:GLOB.
    QStringList patterns;
    qint32 baud_rate = 115200;
    int timeout_ms = 5000;
    QString log_path;
    bool json = false;
    bool verbose = false;
    // End once this many boards have finished; 0 runs until a signal.
    int count = 0;
    // A fixture's presence line (cts, dsr or dcd): a board starts when it
    // rises; empty: when its port appears.
    QString present;
};

struct ports_options
{
    bool json = false;
};

// Parse the arguments that follow the command word. On a usage error they
// print the reason and return false; --help prints the usage and sets *help.
bool parse_flash_options(const QStringList &arguments, flash_options *options, bool *help);
bool parse_watch_options(const QStringList &arguments, watch_options *options, bool *help);
bool parse_ports_options(const QStringList &arguments, ports_options *options, bool *help);

QString tool_usage();

#endif // OTA_OPTIONS_H
