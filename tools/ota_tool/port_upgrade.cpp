#include "port_upgrade.h"

#include "frame_extractor.h"
#include "interrupt_notifier.h"
#include "ota_frame.h"
#include "ota_texts.h"
#include "send_now.h"
#include "serial_line.h"

#include <QFileInfo>

#include <limits>

namespace {

const QString success_text = QStringLiteral("OTA成功");

QString one_line(QStringList texts)
{
    for (QString &text : texts)
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return texts.join(QLatin1String(" / "));
}

} // namespace

port_upgrade::port_upgrade(const port_target &target, const QByteArray &image, const settings &line,
                           QObject *parent)
    : QObject(parent), target_(target), line(line)
{
    session.load_image(image);
    answer_timer.setSingleShot(true);
    connect(&answer_timer, &QTimer::timeout, this, &port_upgrade::handle_timeout);
    connect(&port, &QSerialPort::readyRead, this, &port_upgrade::read_port);
    connect(&port, &QSerialPort::bytesWritten, this, &port_upgrade::frame_written);
    connect(&port, &QSerialPort::errorOccurred, this, &port_upgrade::handle_port_error);
}

void port_upgrade::start()
{
    clock.start();
    if (!target_.error.isEmpty())
        return finish(outcome::port_error, target_.error);
    if (target_.listed)
        port.setPort(target_.info);
    else
        port.setPortName(target_.path);
    if (!port.open(QIODevice::ReadWrite)) {
        // Refused although we may read and write it: someone holds its lock.
        const QFileInfo file(target_.location());
        busy =
            port.error() == QSerialPort::PermissionError && file.isReadable() && file.isWritable();
        return finish(outcome::port_error,
                      QStringLiteral("cannot open: %1").arg(port.errorString()));
    }
    if (!port.setBaudRate(line.baud_rate)) {
        return finish(outcome::port_error, QStringLiteral("baud rate %1 not accepted: %2")
                                               .arg(line.baud_rate)
                                               .arg(port.errorString()));
    }
    if (!port.setDataBits(QSerialPort::Data8) || !port.setParity(QSerialPort::NoParity) ||
        !port.setStopBits(QSerialPort::OneStop) ||
        !port.setFlowControl(QSerialPort::NoFlowControl)) {
        return finish(outcome::port_error,
                      QStringLiteral("cannot set 8N1: %1").arg(port.errorString()));
    }
    // Whatever the device said before we asked is no answer to this upgrade.
    port.clear(QSerialPort::Input);
    awaited = QStringLiteral("the start response");
    if (write_frame(session.start_request()))
        emit progressed();
}

void port_upgrade::interrupt()
{
    if (!is_finished())
        finish(outcome::interrupted, QStringLiteral("interrupted"));
}

void port_upgrade::lose(const QString &why)
{
    if (!is_finished())
        finish(outcome::port_error, why);
}

quint32 port_upgrade::bytes_sent() const
{
    return result_ == outcome::succeeded ? session.image_size() : session.offset();
}

int port_upgrade::percent() const
{
    return result_ == outcome::succeeded ? 100 : session.progress();
}

double port_upgrade::seconds() const
{
    if (!clock.isValid())
        return 0;
    return double(finished_ms >= 0 ? finished_ms : clock.elapsed()) / 1000.0;
}

void port_upgrade::read_port()
{
    if (is_finished())
        return;
    usart_ba.append(port.readAll());
    frame_extractor::trim(usart_ba);
    // Every search consumes at least one marker, so this ends; all frames
    // that came with this read are handled now, since the device sends
    // nothing more until it is answered.
    do {
        const frame_extractor::search_result found = frame_extractor::take_frame(usart_ba);
        if (!found.frame.isEmpty())
            handle_frame(found.frame);
        if (is_finished())
            return;
        frame_extractor::log_remaining(usart_ba, found);
    } while (frame_extractor::may_hold_frame(usart_ba));
}

void port_upgrade::handle_frame(const QByteArray &frame)
{
    const ota_session::reaction reaction = session.handle_frame(frame);
    switch (reaction.what) {
    case ota_session::outcome::nothing:
        return;
    case ota_session::outcome::transfer_begun:
        return send_next_frame();
    case ota_session::outcome::send_next:
        // Stop-and-wait: an acknowledgement confirms everything sent so far.
        confirmed = session.offset();
        return send_next_frame();
    case ota_session::outcome::succeeded:
        confirmed = session.image_size();
        return finish(outcome::succeeded, success_text);
    case ota_session::outcome::refused:
    case ota_session::outcome::stalled: {
        // A stalled upgrade waits for the window's user to cancel it; here
        // nobody would.
        session.stop();
        const QStringList texts = ota_texts::notices(reaction.why, session.slice_size());
        return finish(outcome::refused, one_line(texts), texts);
    }
    }
}

void port_upgrade::send_next_frame()
{
    const quint32 offset = session.offset();
    const QByteArray frame = session.next_frame();
    if (frame.isEmpty()) {
        session.stop();
        return finish(outcome::refused, QStringLiteral("no frame left to send"));
    }
    if (!write_frame(frame))
        return;
    session.frame_sent();
    if (session.current_state() == ota_session::state::awaiting_end) {
        awaited = QStringLiteral("the end response");
    } else {
        awaited = QStringLiteral("the acknowledgement of slice %1 at offset %2")
                      .arg(session.frames_sent())
                      .arg(offset);
    }
    emit progressed();
}

bool port_upgrade::write_frame(const QByteArray &frame)
{
    // A signal may have come while this frame's answer was handled.
    if (interrupt_notifier::requested()) {
        interrupt();
        return false;
    }
    if (port.write(frame) != frame.size()) {
        session.stop();
        finish(outcome::port_error, QStringLiteral("cannot write: %1").arg(port.errorString()));
        return false;
    }
    frame_bytes = frame.size();
    // The answer cannot come before the frame has crossed the line: until it
    // has been handed to the driver, allow the wire time of all that waits.
    restart_answer_timer(port.bytesToWrite());
    // With many boards, answers come together: each frame leaves as soon as
    // its own answer is handled, not after all of them.
    serial_output::send_now(port);
    return true;
}

void port_upgrade::frame_written()
{
    // Handed to the driver: it still takes the frame's wire time to leave.
    if (frame_bytes > 0 && port.bytesToWrite() == 0) {
        restart_answer_timer(frame_bytes);
        frame_bytes = 0;
    }
}

void port_upgrade::restart_answer_timer(qint64 bytes_on_the_way)
{
    if (line.timeout_ms <= 0 || is_finished())
        return;
    const qint64 wire = serial_line::wire_ms(bytes_on_the_way, line.baud_rate);
    answer_timer.start(int(qMin<qint64>(line.timeout_ms + wire, std::numeric_limits<int>::max())));
}

void port_upgrade::handle_port_error(QSerialPort::SerialPortError error)
{
    // Open and setting failures are reported where they happen; a pty
    // refuses the modem lines, which we never use.
    if (!serial_line::is_lost(error) || is_finished() || !port.isOpen())
        return;
    QString what;
    switch (error) {
    case QSerialPort::ReadError:
        what = QStringLiteral("read failed");
        break;
    case QSerialPort::WriteError:
        what = QStringLiteral("write failed");
        break;
    case QSerialPort::PermissionError:
        what = QStringLiteral("access lost");
        break;
    default:
        what = QStringLiteral("device gone");
        break;
    }
    // A board that restarts into its new firmware as soon as it has the
    // image may take its port with it before its end response is read.
    const bool image_through = session.current_state() == ota_session::state::awaiting_end;
    session.stop();
    if (image_through)
        return finish(outcome::port_error,
                      QStringLiteral("port lost after the end frame (%1): every slice was "
                                     "acknowledged, the end response was not seen")
                          .arg(what));
    finish(outcome::port_error, QStringLiteral("port lost (%1): %2").arg(what, port.errorString()));
}

void port_upgrade::handle_timeout()
{
    if (is_finished())
        return;
    session.stop();
    const double seconds = line.timeout_ms / 1000.0;
    finish(outcome::timed_out, QStringLiteral("no answer within %1 s, waiting for %2")
                                   .arg(seconds, 0, 'g', 6)
                                   .arg(awaited));
}

void port_upgrade::finish(outcome how, const QString &why, const QStringList &texts)
{
    result_ = how;
    reason_ = why;
    notices_ = texts;
    finished_ms = clock.isValid() ? clock.elapsed() : 0;
    answer_timer.stop();
    session.stop();
    if (port.isOpen()) {
        // Closing a serial port waits until its output has drained, seconds
        // at a low rate, and every port shares this thread: what is still
        // queued for a board we give up on is dropped instead.
        if (how != outcome::succeeded)
            port.clear(QSerialPort::Output);
        port.close();
    }
    emit finished();
}
