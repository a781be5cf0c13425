#ifndef OTA_DEVICE_H
#define OTA_DEVICE_H

#include "device_options.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QSerialPort>
#include <QTimer>

// The device side of an OTA upgrade on one serial port: takes the tool's
// frames by their length field, checks them, assembles the image and
// answers, with the faults its options ask for.
class ota_device : public QObject
{
    Q_OBJECT

public:
    enum exit_status
    {
        completed = 0,
        not_completed = 1,
        usage_error = 2,
        idle_timeout = 3,
        protocol_error = 4,
        output_error = 5,
    };

    explicit ota_device(const device_options &options, QObject *parent = nullptr);

    // Opens the port; false (with a line on stderr) when it cannot.
    bool open();

signals:
    void finished(int status);

private:
    void read_port();
    void take_frames();
    void handle_frame(const QByteArray &frame);
    void handle_start(const QByteArray &data);
    void handle_data(const QByteArray &data);
    void handle_end(const QByteArray &data);
    void answer(quint8 command, const QByteArray &data, int request_size);
    void send_before_answer(const QByteArray &frame);
    void queue_bytes(const QByteArray &bytes, qint64 delay_ms);
    void write_due();
    void finish(int status);
    void close_when_written();
    void violation(const QString &what);
    QByteArray noise_bytes();

    device_options options;
    QSerialPort port;
    QByteArray received;
    QTimer idle_timer;
    QTimer write_timer;
    QElapsedTimer clock;

    struct pending_write
    {
        QByteArray bytes;
        qint64 due_ms;
    };
    QQueue<pending_write> out_queue;
    qint64 last_due_ms = 0;

    bool started = false;
    bool silent = false;
    bool finishing = false;
    int exit_code = 0;
    quint32 image_size = 0;
    quint32 expected_offset = 0;
    int data_frame_count = 0;
    QByteArray image;
    quint32 noise_state = 0x2545F491u;
};

#endif // OTA_DEVICE_H
