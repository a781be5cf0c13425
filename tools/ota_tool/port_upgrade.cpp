#include "port_upgrade.h"

#include "frame_extractor.h"
#include "interrupt_notifier.h"
#include "ota_frame.h"

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
    if (!port.open(QIODevice::ReadWrite))
        return finish(outcome::port_error,
                      QStringLiteral("cannot open: %1").arg(port.errorString()));
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
    send(session.start_request());
}

void port_upgrade::interrupt()
{
    if (!is_finished())
        finish(outcome::interrupted, QStringLiteral("interrupted"));
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
    } while (usart_ba.contains("QZ") && usart_ba.contains("TC"));
}

void port_upgrade::handle_frame(const QByteArray &frame)
{
    const ota_session::reaction reaction = session.handle_frame(frame);
    if (reaction.ends_upgrade)
        session.end_upgrade(reaction.upgrade);
    // Every box the window would show for a frame means this upgrade cannot
    // go on, also the zero frame size that leaves the window's mark set.
    if (!reaction.notices.isEmpty()) {
        session.stop();
        return finish(outcome::refused, one_line(reaction.notices), reaction.notices);
    }
    switch (reaction.what) {
    case ota_session::action::none:
        if (reaction.ends_upgrade)
            finish(outcome::refused, QStringLiteral("the device ended the upgrade"));
        return;
    case ota_session::action::begin_transfer:
        return send_next_frame();
    case ota_session::action::send_next:
        // Stop-and-wait: an acknowledgement confirms everything sent so far.
        confirmed = session.offset();
        return send_next_frame();
    case ota_session::action::succeeded:
        confirmed = session.image_size();
        return finish(outcome::succeeded, success_text);
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
    if (ota_frame::command_of(frame) == ota_frame::command_end) {
        awaited = QStringLiteral("the end response");
    } else {
        awaited = QStringLiteral("the acknowledgement of slice %1 at offset %2")
                      .arg(session.frames_sent())
                      .arg(offset);
    }
    send(frame);
}

void port_upgrade::send(const QByteArray &frame)
{
    // A signal may have come while this frame's answer was handled.
    if (interrupt_notifier::requested())
        return interrupt();
    port.write(frame);
    if (line.timeout_ms > 0)
        answer_timer.start(line.timeout_ms);
    emit progressed();
}

void port_upgrade::handle_port_error(QSerialPort::SerialPortError error)
{
    // Open and setting failures are reported where they happen; a pty
    // refuses the modem lines, which we never use.
    QString what;
    switch (error) {
    case QSerialPort::ReadError:
        what = QStringLiteral("read failed");
        break;
    case QSerialPort::WriteError:
        what = QStringLiteral("write failed");
        break;
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        what = QStringLiteral("device gone");
        break;
    case QSerialPort::PermissionError:
        what = QStringLiteral("access lost");
        break;
    default:
        return;
    }
    if (is_finished() || !port.isOpen())
        return;
    session.stop();
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
    if (session.is_transferring() || session.is_ota_running())
        session.stop();
    if (port.isOpen())
        port.close();
    emit finished();
}
