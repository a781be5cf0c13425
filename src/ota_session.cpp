#include "ota_session.h"

#include "ota_frame.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(ota_log, "vantrel.ota")

namespace {

// The start request carries the image size in 32 bits.
const qint64 max_size_in_frame = std::numeric_limits<quint32>::max();
// The image is held whole in one byte array.
const qint64 max_size_in_memory = std::numeric_limits<int>::max() - 64;

} // namespace

ota_session::image_read ota_session::read_image(const QString &path)
{
    image_read result;
    const qint64 size = QFileInfo(path).size();
    if (size > max_size_in_frame) {
        result.error_text =
            QStringLiteral(
                "文件过大：%1字节\r\nOTA起始帧只能携带32位的文件大小（最大4294967295字节）")
                .arg(size);
        return result;
    }
    if (size > max_size_in_memory) {
        result.error_text =
            QStringLiteral("文件过大：%1字节\r\n超过2GB的文件无法一次读入内存").arg(size);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error_text = QStringLiteral("文件打开失败") + file.errorString();
        return result;
    }
    QByteArray content = file.read(size);
    // A file that shrank, or a failed read, would otherwise go out as frames
    // that claim bytes they do not carry.
    if (content.size() != size) {
        result.error_text = QStringLiteral("文件读取失败") + file.errorString();
        return result;
    }
    result.bytes = std::move(content);
    result.ok = true;
    return result;
}

void ota_session::load_image(QByteArray image)
{
    forget_slicing();
    ota_file_ba = std::move(image);
    ota_file_size = static_cast<quint32>(ota_file_ba.size());
    is_file_loaded_ = true;
}

void ota_session::discard_image()
{
    forget_slicing();
    ota_file_ba.clear();
    is_file_loaded_ = false;
}

void ota_session::forget_slicing()
{
    // The slicing belongs to the image being replaced: a late acknowledgement
    // must not cut another image at the old offsets, and a late start
    // response must not slice an image the device was never announced.
    frame_size = 0;
    total_frame_num = 0;
    transferring = false;
    start_pending = false;
}

QByteArray ota_session::start_request()
{
    start_pending = is_file_loaded_;
    return ota_frame::build_start_frame(ota_file_size);
}

ota_session::reaction ota_session::handle_frame(const QByteArray &frame)
{
    switch (ota_frame::check_received(frame)) {
    case ota_frame::check_result::bad_head_or_tail:
        qCDebug(ota_log).noquote() << "开头结尾错误";
        return {};
    case ota_frame::check_result::bad_checksum:
        qCDebug(ota_log).noquote() << "校验和错误";
        return {};
    case ota_frame::check_result::bad_type:
    case ota_frame::check_result::bad_command:
        return {};
    case ota_frame::check_result::accepted:
        break;
    }
    switch (ota_frame::command_of(frame)) {
    case ota_frame::command_start:
        return handle_start_response(frame);
    case ota_frame::command_data:
        return handle_data_ack(frame);
    default:
        return handle_end_response(frame);
    }
}

ota_session::reaction ota_session::refuse(const QString &notice)
{
    transferring = false;
    reaction result;
    result.notices << notice;
    result.ends_upgrade = true;
    result.upgrade = upgrade_id;
    return result;
}

ota_session::reaction ota_session::handle_start_response(const QByteArray &frame)
{
    if (is_ota_running_)
        return refuse(QStringLiteral("接受到错误的升级提醒错误信息"));
    if (!is_file_loaded_ || !start_pending) {
        // Slicing an image the device was not announced (or none at all)
        // would send bytes against the wrong size.
        qCDebug(ota_log).noquote() << "start response without a start request for this image, "
                                      "ignored";
        return {};
    }
    start_pending = false;
    ++upgrade_id;

    reaction result;
    // Only data bytes count: a short response must not lend its checksum and
    // tail to the frame size.
    const int size_bytes = qMin(4, ota_frame::data_length(frame));
    bool ok = false;
    frame_size = ota_frame::ba_to_u32(frame.mid(ota_frame::data_offset, size_bytes), &ok);
    if (!ok)
        result.notices << QStringLiteral("ba_to_u32执行错误");
    send_offset = 0;
    is_ota_running_ = true;
    is_last_frame = false;
    total_frame_num = 0;
    if (frame_size == 0) {
        // The upgrade stays marked running: the next double press cancels it.
        result.notices << QStringLiteral("下位机返回的每帧固件大小不能为0");
        return result;
    }
    // A slice that does not fit the 16-bit length field would go out with a
    // length that lies about it.
    if (frame_size > ota_frame::max_slice_size && ota_file_size > ota_frame::max_slice_size) {
        result.notices << QStringLiteral("下位机返回的每帧固件大小%1超过65531字节").arg(frame_size);
        frame_size = 0;
        return result;
    }
    sent_frame_num = 0;
    // One data frame per slice, and one empty frame for an empty image, so
    // that 100 % means every slice has gone out.
    const quint64 slices = (quint64(ota_file_size) + frame_size - 1) / frame_size;
    total_frame_num = static_cast<quint32>(std::max<quint64>(1, slices));
    transferring = true;
    result.what = action::begin_transfer;
    return result;
}

ota_session::reaction ota_session::handle_data_ack(const QByteArray &frame)
{
    if (!transferring) {
        qCDebug(ota_log).noquote() << "acknowledgement outside a transfer, ignored";
        return {};
    }
    quint8 status = 0;
    if (!ota_frame::status_byte(frame, &status) || status != ota_frame::status_ok)
        return refuse(QStringLiteral("下位机返回OTA失败信息"));
    reaction result;
    result.what = action::send_next;
    return result;
}

ota_session::reaction ota_session::handle_end_response(const QByteArray &frame)
{
    if (!transferring) {
        qCDebug(ota_log).noquote() << "end response outside a transfer, ignored";
        return {};
    }
    if (!is_last_frame)
        return refuse(QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成"));
    quint8 status = 0;
    if (!ota_frame::status_byte(frame, &status) || status != ota_frame::status_ok)
        return refuse(QStringLiteral("结束时下位机返回OTA失败信息"));
    transferring = false;
    is_ota_running_ = false;
    reaction result;
    result.what = action::succeeded;
    return result;
}

QByteArray ota_session::next_frame()
{
    if (!transferring || quint32(ota_file_ba.size()) != ota_file_size)
        return {};
    if (is_last_frame)
        return ota_frame::build_end_frame();
    quint32 length = frame_size;
    const quint32 remaining = ota_file_size - send_offset;
    if (length >= remaining) {
        length = remaining;
        is_last_frame = true;
    }
    const QByteArray frame =
        ota_frame::build_data_frame(send_offset, ota_file_ba.constData() + send_offset, length);
    send_offset += length;
    ++sent_frame_num;
    return frame;
}

void ota_session::end_upgrade(quint64 upgrade)
{
    if (upgrade == upgrade_id)
        is_ota_running_ = false;
}

void ota_session::stop()
{
    transferring = false;
    start_pending = false;
    is_ota_running_ = false;
}

int ota_session::progress() const
{
    if (total_frame_num == 0)
        return 0;
    return static_cast<int>(quint64(sent_frame_num) * 100 / total_frame_num);
}
