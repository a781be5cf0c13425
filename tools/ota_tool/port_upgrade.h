#ifndef PORT_UPGRADE_H
#define PORT_UPGRADE_H

#include "ota_session.h"
#include "port_lookup.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QStringList>
#include <QTimer>

// One board's upgrade on one serial port: opens the port, sends the start
// request, feeds every frame cut from the received bytes to its own
// ota_session and sends what the session asks for, until the device confirms
// the end, refuses, goes silent, the port is lost or the run is interrupted.
class port_upgrade : public QObject
{
    Q_OBJECT

public:
    enum class outcome
    {
        running,
        succeeded,
        refused,     // a refusal by the device, with the window's notices
        port_error,  // not found, not opened, rate refused, or lost
        timed_out,   // no answer within the timeout after the frame left
        interrupted, // SIGINT or SIGTERM
    };

    struct settings
    {
        qint32 baud_rate = 115200;
        int timeout_ms = 5000; // 0: no timeout
    };

    port_upgrade(const port_target &target, const QByteArray &image, const settings &line,
                 QObject *parent = nullptr);

    // Opens the port and sends the start request; a port that cannot be
    // opened finishes here.
    void start();
    // Sends nothing more and closes the port; an unfinished upgrade ends as
    // interrupted.
    void interrupt();
    // Ends an unfinished upgrade as port_error: its port is known to be gone.
    void lose(const QString &why);

    const port_target &target() const { return target_; }
    outcome result() const { return result_; }
    bool is_finished() const { return result_ != outcome::running; }
    // Why it ended: the window's texts for refusals, "OTA成功" on success.
    QString reason() const { return reason_; }
    // The texts of the window's boxes for this ending, exactly.
    QStringList notices() const { return notices_; }
    // The port could not be opened because another program holds it.
    bool port_busy() const { return busy; }

    quint32 image_size() const { return session.image_size(); }
    // Image bytes handed to the port, and those the device has acknowledged.
    quint32 bytes_sent() const;
    quint32 bytes_confirmed() const { return confirmed; }
    // Percentage of the image's data frames sent (the window's progress).
    int percent() const;
    quint32 slice_size() const { return session.slice_size(); }
    double seconds() const;

signals:
    // A frame went out.
    void progressed();
    void finished();

private:
    void read_port();
    void handle_frame(const QByteArray &frame);
    void send_next_frame();
    bool write_frame(const QByteArray &frame);
    void frame_written();
    void restart_answer_timer(qint64 bytes_on_the_way);
    void handle_port_error(QSerialPort::SerialPortError error);
    void handle_timeout();
    void finish(outcome how, const QString &why, const QStringList &texts = QStringList());

    port_target target_;
    settings line;
    ota_session session;
    QSerialPort port;
    // Received bytes not yet cut into frames, as the window's usart_ba.
    QByteArray usart_ba;
    QTimer answer_timer;
    QElapsedTimer clock;
    qint64 finished_ms = -1;
    // What the device owes us after the last frame sent, for a timeout.
    QString awaited;
    // The frame last written while part of it waits to reach the driver.
    qint64 frame_bytes = 0;
    quint32 confirmed = 0;
    outcome result_ = outcome::running;
    QString reason_;
    QStringList notices_;
    bool busy = false;
};

#endif // PORT_UPGRADE_H
