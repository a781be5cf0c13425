#include "ota_texts.h"

#include "ota_frame.h"

namespace ota_texts {

QStringList notices(ota_session::reason why, quint32 slice_size)
{
    using reason = ota_session::reason;
    const QString zero = QStringLiteral("下位机返回的每帧固件大小不能为0");
    switch (why) {
    case reason::none:
        break;
    case reason::start_while_running:
        return {QStringLiteral("接受到错误的升级提醒错误信息")};
    case reason::frame_size_unreadable:
        return {QStringLiteral("ba_to_u32执行错误"), zero};
    case reason::frame_size_zero:
        return {zero};
    case reason::frame_size_too_large:
        return {QStringLiteral("下位机返回的每帧固件大小%1超过%2字节")
                    .arg(slice_size)
                    .arg(ota_frame::max_slice_size)};
    case reason::data_refused:
        return {QStringLiteral("下位机返回OTA失败信息")};
    case reason::end_early:
        return {QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成")};
    case reason::end_refused:
        return {QStringLiteral("结束时下位机返回OTA失败信息")};
    }
    return {};
}

QString image_refusal(const image_file::read_outcome &read)
{
    switch (read.status) {
    case image_file::read_status::ok:
        break;
    case image_file::read_status::open_failed:
        return QStringLiteral("文件打开失败") + read.error_text;
    // A file that shrank, or a failed read, would otherwise go out as frames
    // that claim bytes they do not carry.
    case image_file::read_status::read_failed:
        return QStringLiteral("文件读取失败") + read.error_text;
    case image_file::read_status::too_large:
        if (read.size > image_file::max_size_in_start_request)
            return QStringLiteral(
                       "文件过大：%1字节\r\nOTA起始帧只能携带32位的文件大小（最大%2字节）")
                .arg(read.size)
                .arg(image_file::max_size_in_start_request);
        if (read.size >= 0)
            return QStringLiteral("文件过大：%1字节\r\n超过2GB的文件无法一次读入内存")
                .arg(read.size);
        return QStringLiteral("文件过大：超过%1字节\r\n超过2GB的文件无法一次读入内存")
            .arg(image_file::max_upgrade_image_size);
    }
    return {};
}

} // namespace ota_texts
