#ifndef FLASH_OPTIONS_H
#define FLASH_OPTIONS_H

#include <QString>
#include <QStringList>

// Exit codes of vantrel-ota (documented in README.md). When ports end
// differently, the first of interrupted, port, timeout, refused wins; results
// that could not be written win over all of them.
enum exit_code
{
    exit_ok = 0,
    exit_refused = 1,       // a device refused, or the upgrade failed otherwise
    exit_usage = 2,         // unknown command or option, missing or bad argument
    exit_image = 3,         // the image file cannot be read or is too large
    exit_port = 4,          // a port could not be found, opened or configured, or was lost
    exit_timeout = 5,       // a device did not answer within --timeout
    exit_output = 6,        // the results could not be written to standard output
    exit_interrupted = 130, // SIGINT or SIGTERM
};

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

#endif // FLASH_OPTIONS_H
