#ifndef DEVICE_OPTIONS_H
#define DEVICE_OPTIONS_H

#include <QString>
#include <QStringList>

// What the simulated device is told on its command line. Frame numbers
// count data frames from 1.
struct device_options
{
    QString port;
    QString output;
    qint32 baud_rate = 115200;
    quint32 frame_size = 256;
    int idle_timeout_ms = 10000;

    int refuse_frame = 0;        // acknowledge data frame N with status 0x00
    int end_early_frame = 0;     // answer data frame N with an end response
    bool end_failure = false;    // answer the end frame with status 0x00
    bool restart_at_end = false; // take the end frame and go away without an answer
    int start_bytes = -1;        // start response with N data bytes: the size's first, then 0xEE
    int bad_checksum_frame = 0;  // before the answer to data frame N, a copy with a bad checksum
    int wrong_type_frame = 0;    // ... a copy of type 0x04
    int wrong_command_frame = 0; // ... a copy with command 0x05
    bool noise = false;          // noise bytes before and between answers
    bool byte_at_a_time = false; // answers written one byte at a time
    int silent_after_frame = 0;  // no answer after data frame N
    int second_start_frame = 0;  // answer data frame N with a start response
    qint32 pace_baud = 0;        // delay answers as a line of this rate would
    int burst_ms = 0;            // hand answers over only every N ms, as a USB adapter does
};

// Parses the arguments (without the program name). On failure returns false
// with a message in *error; --help sets *help.
bool parse_device_options(const QStringList &arguments, device_options *options, bool *help,
                          QString *error);
QString device_usage();

#endif // DEVICE_OPTIONS_H
