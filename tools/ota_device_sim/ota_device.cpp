#include "ota_device.h"

#include "big_endian.h"
#include "ota_frame.h"
#include "serial_line.h"

#include <QFile>
#include <QTextStream>

namespace {

QTextStream &log_out()
{
    static QTextStream stream(stdout);
    return stream;
}

void log_line(const QString &line)
{
    log_out() << line << '\n';
    log_out().flush();
}

const QByteArray head("QZ");
const qint64 decoy_gap_ms = 30;

} // namespace

ota_device::ota_device(const device_options &options, QObject *parent)
    : QObject(parent), options(options)
{
    clock.start();
    idle_timer.setSingleShot(true);
    connect(&idle_timer, &QTimer::timeout, this, [this] {
        log_line(QStringLiteral("idle for %1 ms, giving up").arg(this->options.idle_timeout_ms));
        finish(idle_timeout);
    });
    write_timer.setSingleShot(true);
    // A coarse timer may fire milliseconds late, which a paced line would
    // count as the device's own turnaround.
    write_timer.setTimerType(Qt::PreciseTimer);
    connect(&write_timer, &QTimer::timeout, this, &ota_device::write_due);
    connect(&port, &QSerialPort::readyRead, this, &ota_device::read_port);
}

bool ota_device::open()
{
    port.setPortName(options.port);
    if (!port.open(QIODevice::ReadWrite)) {
        QTextStream(stderr) << "cannot open " << options.port << ": " << port.errorString() << '\n';
        return false;
    }
    if (!port.setBaudRate(options.baud_rate)) {
        QTextStream(stderr) << "cannot set " << options.baud_rate << " baud on " << options.port
                            << ": " << port.errorString() << '\n';
        return false;
    }
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    // Whatever an earlier connection left on the line is not ours.
    port.clear(QSerialPort::AllDirections);
    if (options.idle_timeout_ms > 0)
        idle_timer.start(options.idle_timeout_ms);
    log_line(
        QStringLiteral("ready on %1, frame size %2").arg(options.port).arg(options.frame_size));
    return true;
}

void ota_device::read_port()
{
    const QByteArray chunk = port.readAll();
    if (chunk.isEmpty())
        return;
    if (options.idle_timeout_ms > 0)
        idle_timer.start(options.idle_timeout_ms);
    received.append(chunk);
    take_frames();
}

// The tool's frames are cut by their length field: image bytes may hold
// the marker pairs.
void ota_device::take_frames()
{
    while (!finishing) {
        const int start = received.indexOf(head);
        if (start < 0) {
            // Keep a lone 'Q' that may begin the next head.
            const int keep = received.endsWith('Q') ? 1 : 0;
            if (received.size() > keep)
                log_line(
                    QStringLiteral("skipped %1 bytes without a head").arg(received.size() - keep));
            received = received.right(keep);
            return;
        }
        if (start > 0) {
            log_line(QStringLiteral("skipped %1 bytes before a head").arg(start));
            received.remove(0, start);
        }
        const QByteArray frame = ota_frame::take_frame_by_length(received);
        if (frame.isEmpty())
            return;
        handle_frame(frame);
    }
}

void ota_device::handle_frame(const QByteArray &frame)
{
    switch (ota_frame::check_received(frame)) {
    case ota_frame::check_result::bad_head_or_tail:
        return violation(QStringLiteral("frame without its tail"));
    case ota_frame::check_result::bad_checksum:
        return violation(QStringLiteral("frame with a wrong checksum"));
    case ota_frame::check_result::bad_type:
        return violation(QStringLiteral("frame of type %1").arg(quint8(frame.at(2))));
    case ota_frame::check_result::bad_command:
        return violation(QStringLiteral("frame with command %1").arg(quint8(frame.at(3))));
    case ota_frame::check_result::accepted:
        break;
    }
    const QByteArray data = frame.mid(ota_frame::data_offset, ota_frame::data_length(frame));
    switch (ota_frame::command_of(frame)) {
    case ota_frame::command_start:
        handle_start(data);
        break;
    case ota_frame::command_data:
        handle_data(data);
        break;
    case ota_frame::command_end:
        handle_end(data);
        break;
    }
}

void ota_device::handle_start(const QByteArray &data)
{
    bool ok = false;
    const quint32 size = ota_frame::ba_to_u32(data, &ok);
    if (!ok)
        return violation(QStringLiteral("start request with %1 data bytes").arg(data.size()));
    log_line(QStringLiteral("start request: image of %1 bytes").arg(size));
    started = true;
    image_size = size;
    expected_offset = 0;
    data_frame_count = 0;
    image.clear();
    QByteArray size_bytes = big_endian::u32(options.frame_size);
    if (options.start_bytes >= 0) {
        log_line(
            QStringLiteral("fault: start response with %1 data bytes").arg(options.start_bytes));
        size_bytes = (size_bytes + QByteArray(qMax(0, options.start_bytes - 4), char(0xEE)))
                         .left(options.start_bytes);
    }
    log_line(QStringLiteral("answer: frame size %1").arg(options.frame_size));
    answer(ota_frame::command_start, size_bytes, 13);
    if (options.frame_size == 0 || size_bytes.size() < 4)
        finish(not_completed);
}

void ota_device::handle_data(const QByteArray &data)
{
    if (!started)
        return violation(QStringLiteral("data frame before a start request"));
    if (data.size() < 4)
        return violation(QStringLiteral("data frame with %1 data bytes").arg(data.size()));
    const quint32 offset = ota_frame::ba_to_u32(data.left(4));
    const quint32 length = quint32(data.size() - 4);
    // Once every slice is in, even an empty data frame is one too many.
    if (data_frame_count > 0 && expected_offset == image_size)
        return violation(QStringLiteral("data frame after the last slice"));
    ++data_frame_count;
    log_line(QStringLiteral("data frame %1: offset %2, %3 bytes")
                 .arg(data_frame_count)
                 .arg(offset)
                 .arg(length));
    if (offset != expected_offset)
        return violation(QStringLiteral("offset %1, expected %2").arg(offset).arg(expected_offset));
    if (length > options.frame_size)
        return violation(QStringLiteral("slice longer than the frame size"));
    if (quint64(offset) + length > image_size)
        return violation(QStringLiteral("slice beyond the announced image size"));
    if (length < options.frame_size && offset + length != image_size)
        return violation(QStringLiteral("short slice before the image end"));
    image.append(data.mid(4));
    expected_offset += length;

    const int request_size = data.size() + ota_frame::overhead;
    const QByteArray ack_ok(1, char(ota_frame::status_ok));
    if (silent)
        return;
    if (data_frame_count == options.silent_after_frame) {
        log_line(QStringLiteral("fault: silent from now on"));
        silent = true;
        return;
    }
    if (data_frame_count == options.refuse_frame) {
        log_line(QStringLiteral("fault: refusing data frame %1").arg(data_frame_count));
        answer(ota_frame::command_data, QByteArray(1, '\0'), request_size);
        return finish(not_completed);
    }
    if (data_frame_count == options.end_early_frame) {
        log_line(QStringLiteral("fault: end response instead of an acknowledgement"));
        answer(ota_frame::command_end, ack_ok, request_size);
        return finish(not_completed);
    }
    if (data_frame_count == options.second_start_frame) {
        log_line(QStringLiteral("fault: a second start response"));
        answer(ota_frame::command_start, big_endian::u32(options.frame_size), request_size);
        return finish(not_completed);
    }
    const QByteArray ack = ota_frame::build_frame(ota_frame::command_data, ack_ok);
    if (data_frame_count == options.bad_checksum_frame) {
        QByteArray bad = ack;
        bad[bad.size() - 3] = char(bad.at(bad.size() - 3) ^ 0x5A);
        log_line(QStringLiteral("fault: acknowledgement with a bad checksum first"));
        send_before_answer(bad);
    }
    if (data_frame_count == options.wrong_type_frame) {
        QByteArray wrong = ack;
        wrong[2] = 0x04;
        wrong[wrong.size() - 3] = char(ota_frame::ba_sum(wrong.left(wrong.size() - 3)));
        log_line(QStringLiteral("fault: acknowledgement of type 0x04 first"));
        send_before_answer(wrong);
    }
    if (data_frame_count == options.wrong_command_frame) {
        QByteArray wrong = ack;
        wrong[3] = 0x05;
        wrong[wrong.size() - 3] = char(ota_frame::ba_sum(wrong.left(wrong.size() - 3)));
        log_line(QStringLiteral("fault: acknowledgement with command 0x05 first"));
        send_before_answer(wrong);
    }
    answer(ota_frame::command_data, ack_ok, request_size);
}

void ota_device::handle_end(const QByteArray &data)
{
    if (data.size() != 1 || quint8(data.at(0)) != ota_frame::status_ok)
        return violation(QStringLiteral("end frame with unexpected data"));
    const bool complete =
        started && quint32(image.size()) == image_size && expected_offset == image_size;
    log_line(
        QStringLiteral("end frame: %1 of %2 bytes received").arg(image.size()).arg(image_size));
    bool written = true;
    if (!options.output.isEmpty()) {
        QFile file(options.output);
        written =
            file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.flush();
        if (!written)
            log_line(QStringLiteral("cannot write %1: %2").arg(options.output, file.errorString()));
    }
    if (options.restart_at_end) {
        log_line(QStringLiteral("fault: restarting without an end response"));
        return finish(!complete ? not_completed : written ? completed : output_error);
    }
    const bool success = complete && !options.end_failure;
    if (options.end_failure)
        log_line(QStringLiteral("fault: end response with a failure"));
    answer(ota_frame::command_end, QByteArray(1, char(success ? ota_frame::status_ok : 0)), 10);
    // Whoever checks the received image must not be told it was written.
    finish(!success ? not_completed : written ? completed : output_error);
}

void ota_device::violation(const QString &what)
{
    log_line(QStringLiteral("error: %1").arg(what));
    finish(protocol_error);
}

QByteArray ota_device::noise_bytes()
{
    // Line noise that holds no marker byte: with no escaping in the
    // protocol, a stray tail ahead of an answer would hold it back.
    QByteArray bytes;
    const int count = 1 + int(noise_state % 7);
    while (bytes.size() < count) {
        noise_state ^= noise_state << 13;
        noise_state ^= noise_state >> 17;
        noise_state ^= noise_state << 5;
        const char byte = char(noise_state & 0xFF);
        if (byte != 'Q' && byte != 'Z' && byte != 'T' && byte != 'C')
            bytes.append(byte);
    }
    return bytes;
}

void ota_device::send_before_answer(const QByteArray &frame)
{
    // The tool takes one frame per read and leaves a second one waiting for
    // more bytes: the answer must come in a read of its own.
    queue_bytes(frame, 0);
    last_due_ms += decoy_gap_ms;
}

void ota_device::answer(quint8 command, const QByteArray &data, int request_size)
{
    QByteArray bytes;
    if (options.noise)
        bytes.append(noise_bytes());
    bytes.append(ota_frame::build_frame(command, data));
    if (options.noise)
        bytes.append(noise_bytes());
    // The request's wire time towards the device and the answer's back.
    queue_bytes(bytes, serial_line::wire_ms(request_size + bytes.size(), options.pace_baud));
}

void ota_device::queue_bytes(const QByteArray &bytes, qint64 delay_ms)
{
    const qint64 now = clock.elapsed();
    qint64 due = qMax(now, last_due_ms) + delay_ms;
    // An adapter hands over what has gathered when its latency timer ends.
    if (options.burst_ms > 0)
        due = (due + options.burst_ms - 1) / options.burst_ms * options.burst_ms;
    if (options.byte_at_a_time) {
        for (const char byte : bytes) {
            out_queue.enqueue({QByteArray(1, byte), due});
            ++due; // a millisecond apart, so each goes in a read of its own
        }
    } else {
        out_queue.enqueue({bytes, due});
    }
    last_due_ms = due;
    write_due();
}

void ota_device::write_due()
{
    const qint64 now = clock.elapsed();
    QByteArray due_now;
    while (!out_queue.isEmpty() && out_queue.head().due_ms <= now)
        due_now += out_queue.dequeue().bytes;
    if (!due_now.isEmpty()) {
        port.write(due_now);
        port.flush();
    }
    if (!out_queue.isEmpty()) {
        write_timer.start(int(out_queue.head().due_ms - now));
        return;
    }
    if (finishing)
        close_when_written();
}

void ota_device::close_when_written()
{
    // Leave the line a moment to carry the last bytes before the port closes.
    QTimer::singleShot(50, this, [this] {
        if (port.bytesToWrite() > 0)
            return close_when_written();
        port.close();
        emit finished(exit_code);
    });
}

void ota_device::finish(int status)
{
    if (finishing)
        return;
    finishing = true;
    exit_code = status;
    idle_timer.stop();
    log_line(QStringLiteral("exit status %1").arg(status));
    write_due();
}
