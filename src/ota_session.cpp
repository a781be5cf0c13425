#include "ota_session.h"

#include "ota_frame.h"

#include <algorithm>

Q_LOGGING_CATEGORY(ota_log, "vantrel.ota")

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
    if (state_ == state::awaiting_start)
        state_ = state::idle;
    else if (is_transferring())
        state_ = state::stalled;
}

bool ota_session::is_ota_running() const
{
    return state_ != state::idle && state_ != state::awaiting_start;
}

bool ota_session::is_transferring() const
{
    return state_ == state::transferring || state_ == state::awaiting_end;
}

QByteArray ota_session::start_request()
{
    if (!is_ota_running())
        state_ = is_file_loaded_ ? state::awaiting_start : state::idle;
    return ota_frame::build_start_frame(ota_file_size);
}

ota_session::reaction ota_session::handle_frame(const QByteArray &frame)
{
    switch (ota_frame::check_received(frame)) {
    case ota_frame::check_result::bad_head_or_tail:
        qCDebug(ota_log).noquote() << "开头结尾错误";
        return react(outcome::nothing);
    case ota_frame::check_result::bad_checksum:
        qCDebug(ota_log).noquote() << "校验和错误";
        return react(outcome::nothing);
    case ota_frame::check_result::bad_type:
    case ota_frame::check_result::bad_command:
        return react(outcome::nothing);
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

ota_session::reaction ota_session::react(outcome what) const
{
    reaction result;
    result.what = what;
    result.upgrade = upgrade_id;
    return result;
}

ota_session::reaction ota_session::end_with(outcome what, reason why)
{
    state_ = what == outcome::refused ? state::ending : state::stalled;
    reaction result = react(what);
    result.why = why;
    return result;
}

ota_session::reaction ota_session::handle_start_response(const QByteArray &frame)
{
    if (is_ota_running())
        return end_with(outcome::refused, reason::start_while_running);
    if (!is_file_loaded_ || state_ != state::awaiting_start) {
        // Slicing an image the device was not announced (or none at all)
        // would send bytes against the wrong size.
        qCDebug(ota_log).noquote() << "start response without a start request for this image, "
                                      "ignored";
        return react(outcome::nothing);
    }
    ++upgrade_id;

    // Only data bytes count: a short response must not lend its checksum and
    // tail to the frame size.
    const int size_bytes = qMin(4, ota_frame::data_length(frame));
    bool ok = false;
    frame_size = ota_frame::ba_to_u32(frame.mid(ota_frame::data_offset, size_bytes), &ok);
    send_offset = 0;
    sent_frame_num = 0;
    total_frame_num = 0;
    // Running from here on: the next double press cancels.
    if (!ok)
        return end_with(outcome::stalled, reason::frame_size_unreadable);
    if (frame_size == 0)
        return end_with(outcome::stalled, reason::frame_size_zero);
    // A slice that does not fit the 16-bit length field would go out with a
    // length that lies about it.
    if (frame_size > ota_frame::max_slice_size && ota_file_size > ota_frame::max_slice_size)
        return end_with(outcome::stalled, reason::frame_size_too_large);
    // One data frame per slice, and one empty frame for an empty image, so
    // that 100 % means every slice has gone out.
    const quint64 slices = (quint64(ota_file_size) + frame_size - 1) / frame_size;
    total_frame_num = static_cast<quint32>(std::max<quint64>(1, slices));
    state_ = state::transferring;
    return react(outcome::transfer_begun);
}

ota_session::reaction ota_session::handle_data_ack(const QByteArray &frame)
{
    if (!is_transferring()) {
        qCDebug(ota_log).noquote() << "acknowledgement outside a transfer, ignored";
        return react(outcome::nothing);
    }
    quint8 status = 0;
    if (!ota_frame::status_byte(frame, &status) || status != ota_frame::status_ok)
        return end_with(outcome::refused, reason::data_refused);
    return react(outcome::send_next);
}

ota_session::reaction ota_session::handle_end_response(const QByteArray &frame)
{
    if (!is_transferring()) {
        qCDebug(ota_log).noquote() << "end response outside a transfer, ignored";
        return react(outcome::nothing);
    }
    if (!last_frame_sent())
        return end_with(outcome::refused, reason::end_early);
    quint8 status = 0;
    if (!ota_frame::status_byte(frame, &status) || status != ota_frame::status_ok)
        return end_with(outcome::refused, reason::end_refused);
    state_ = state::idle;
    return react(outcome::succeeded);
}

quint32 ota_session::next_slice_length() const
{
    return qMin(frame_size, ota_file_size - send_offset);
}

QByteArray ota_session::next_frame() const
{
    if (!is_transferring() || quint32(ota_file_ba.size()) != ota_file_size)
        return {};
    if (last_frame_sent())
        return ota_frame::build_end_frame();
    return ota_frame::build_data_frame(send_offset, ota_file_ba.constData() + send_offset,
                                       next_slice_length());
}

void ota_session::frame_sent()
{
    if (!is_transferring())
        return;
    if (last_frame_sent()) {
        state_ = state::awaiting_end;
        return;
    }
    send_offset += next_slice_length();
    ++sent_frame_num;
}

void ota_session::end_upgrade(quint64 upgrade)
{
    if (upgrade == upgrade_id && state_ == state::ending)
        state_ = state::idle;
}

void ota_session::stop()
{
    state_ = state::idle;
}

int ota_session::progress() const
{
    if (total_frame_num == 0)
        return 0;
    return static_cast<int>(quint64(sent_frame_num) * 100 / total_frame_num);
}
