// The OTA upgrade client: file choice, start, slice-by-slice transfer, end.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "ota_frame.h"
#include "user_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>

#include <limits>

Q_LOGGING_CATEGORY(ota_log, "vantrel.ota")

namespace {

const QString notice_title = QStringLiteral("提示信息");
const QString error_title = QStringLiteral("错误信息");
const QString file_chosen_while_running =
    QStringLiteral("OTA过程中进行了文件选择操作\r\n请重新开始OTA");

// A click pair further apart than this many ticks is two single presses.
const quint32 double_click_ticks = 200;

// The start request carries the image size in 32 bits.
const qint64 max_size_in_frame = std::numeric_limits<quint32>::max();
// The image is held whole in one byte array.
const qint64 max_size_in_memory = std::numeric_limits<int>::max() - 64;

} // namespace

void MainWindow::ota_fun()
{
    if (ota_click_state == 0) {
        ota_click_state = 1;
        ota_click_time = timer_count;
        return;
    }
    ota_click_state = 0;
    ota_double_clicked();
}

void MainWindow::handle_timeout()
{
    ++timer_count;
    if (ota_click_state == 1 && quint32(timer_count - ota_click_time) > double_click_ticks) {
        ota_click_state = 0;
        choose_ota_file();
    }
}

void MainWindow::notify(const QString &text)
{
    user_dialogs::information(this, notice_title, text);
}

void MainWindow::choose_ota_file()
{
    // The slicing belongs to the image being discarded: an acknowledgement
    // arriving later must not cut a new image at the old offsets.
    is_file_loaded = false;
    ota_file_ba.clear();
    frame_size = 0;
    total_frame_num = 0;

    const QString path = user_dialogs::current().open_file_name(this, QStringLiteral("Open File"),
                                                                QDir::currentPath(), QString());
    if (path.isEmpty()) {
        if (is_ota_running) {
            is_ota_running = false;
            notify(file_chosen_while_running);
        } else {
            user_dialogs::information(this, error_title, QStringLiteral("请选择一个文件"));
        }
        return;
    }

    load_ota_file(path);

    if (is_ota_running) {
        is_ota_running = false;
        notify(file_chosen_while_running);
    }
}

bool MainWindow::load_ota_file(const QString &path)
{
    const qint64 size = QFileInfo(path).size();
    if (size > max_size_in_frame) {
        user_dialogs::information(
            this, error_title,
            QStringLiteral(
                "文件过大：%1字节\r\nOTA起始帧只能携带32位的文件大小（最大4294967295字节）")
                .arg(size));
        return false;
    }
    if (size > max_size_in_memory) {
        user_dialogs::information(
            this, error_title,
            QStringLiteral("文件过大：%1字节\r\n超过2GB的文件无法一次读入内存").arg(size));
        return false;
    }
    ota_file_size = static_cast<quint32>(size);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        user_dialogs::information(this, error_title,
                                  QStringLiteral("文件打开失败") + file.errorString());
        return false;
    }
    QByteArray content = file.read(size);
    // A file that shrank, or a failed read, would otherwise go out as
    // frames that claim bytes they do not carry.
    if (content.size() != size) {
        user_dialogs::information(this, error_title,
                                  QStringLiteral("文件读取失败") + file.errorString());
        return false;
    }
    ota_file_ba = std::move(content);
    is_file_loaded = true;
    status_label->setText(QStringLiteral("选择OTA升级文件:") + path);
    return true;
}

void MainWindow::ota_double_clicked()
{
    qCDebug(ota_log) << "double clicked";
    if (!is_file_loaded) {
        notify(QStringLiteral("请选择一个文件"));
        return;
    }
    if (is_ota_running) {
        is_ota_running = false;
        notify(QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA"));
        return;
    }
    send_ota_start_frame();
}

bool MainWindow::is_transfer_ready() const
{
    return is_file_loaded && frame_size != 0 && total_frame_num != 0 &&
           quint32(ota_file_ba.size()) == ota_file_size;
}

void MainWindow::handle_ota_frame(const QByteArray &frame)
{
    switch (ota_frame::check_received(frame)) {
    case ota_frame::check_result::bad_head_or_tail:
        qCDebug(ota_log).noquote() << "开头结尾错误";
        return;
    case ota_frame::check_result::bad_checksum:
        qCDebug(ota_log).noquote() << "校验和错误";
        return;
    case ota_frame::check_result::bad_type:
    case ota_frame::check_result::bad_command:
        return;
    case ota_frame::check_result::accepted:
        break;
    }
    switch (ota_frame::command_of(frame)) {
    case ota_frame::command_start:
        handle_start_response(frame);
        break;
    case ota_frame::command_data:
        handle_data_ack(frame);
        break;
    case ota_frame::command_end:
        handle_end_response(frame);
        break;
    }
}

void MainWindow::handle_start_response(const QByteArray &frame)
{
    if (is_ota_running) {
        notify(QStringLiteral("接受到错误的升级提醒错误信息"));
        is_ota_running = false;
        return;
    }
    if (!is_file_loaded) {
        // Nothing to slice: the image was discarded (or never chosen) after
        // the start request went out.
        qCDebug(ota_log).noquote() << "start response without an image, ignored";
        return;
    }
    // Only data bytes count: a short response must not lend its checksum and
    // tail to the frame size.
    const int size_bytes = qMin(4, ota_frame::data_length(frame));
    frame_size = ba_to_u32(frame.mid(ota_frame::data_offset, size_bytes));
    send_offset = 0;
    is_ota_running = true;
    is_last_frame = false;
    if (frame_size == 0) {
        total_frame_num = 0;
        notify(QStringLiteral("下位机返回的每帧固件大小不能为0"));
        return;
    }
    // A slice that does not fit the 16-bit length field would go out with a
    // length that lies about it.
    if (frame_size > ota_frame::max_slice_size && ota_file_size > ota_frame::max_slice_size) {
        const quint32 refused = frame_size;
        frame_size = 0;
        total_frame_num = 0;
        notify(QStringLiteral("下位机返回的每帧固件大小%1超过65531字节").arg(refused));
        return;
    }
    sent_frame_num = 0;
    total_frame_num = ota_file_size / frame_size + 1;
    status_label->setText(QStringLiteral("开始OTA传输"));
    ui->ota_progress_bar->setValue(0);
    ui->ota_progress_bar->show();
    emit ota_trans_data_signal();
}

void MainWindow::handle_data_ack(const QByteArray &frame)
{
    quint8 status = 0;
    if (!ota_frame::status_byte(frame, &status) || status != ota_frame::status_ok) {
        notify(QStringLiteral("下位机返回OTA失败信息"));
        is_ota_running = false;
        return;
    }
    if (!is_transfer_ready() && !is_last_frame) {
        qCDebug(ota_log).noquote() << "acknowledgement without a sliced image, ignored";
        return;
    }
    emit ota_trans_data_signal();
    if (total_frame_num != 0)
        ui->ota_progress_bar->setValue(
            static_cast<int>(quint64(sent_frame_num) * 100 / total_frame_num));
}

void MainWindow::handle_end_response(const QByteArray &frame)
{
    if (!is_last_frame) {
        notify(QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成"));
        is_ota_running = false;
        return;
    }
    quint8 status = 0;
    if (ota_frame::status_byte(frame, &status) && status == ota_frame::status_ok) {
        is_ota_running = false;
        status_label->setText(QStringLiteral("OTA成功"));
        ui->ota_progress_bar->hide();
        return;
    }
    notify(QStringLiteral("结束时下位机返回OTA失败信息"));
    is_ota_running = false;
}

void MainWindow::ota_data_trans()
{
    if (is_last_frame) {
        send_ota_end_frame();
        return;
    }
    if (!is_transfer_ready())
        return;
    quint32 length = frame_size;
    const quint32 remaining = ota_file_size > send_offset ? ota_file_size - send_offset : 0;
    if (length >= remaining) {
        length = remaining;
        is_last_frame = true;
    }
    const QByteArray frame =
        ota_frame::build_data_frame(send_offset, ota_file_ba.constData() + send_offset, length);
    send_offset += length;
    ++sent_frame_num;
    send_data(frame);
}

void MainWindow::send_ota_start_frame()
{
    send_data(ota_frame::build_start_frame(ota_file_size));
}

void MainWindow::send_ota_end_frame()
{
    send_data(ota_frame::build_end_frame());
}

quint32 MainWindow::ba_to_u32(const QByteArray &bytes)
{
    bool ok = false;
    const quint32 value = ota_frame::ba_to_u32(bytes, &ok);
    if (!ok)
        notify(QStringLiteral("ba_to_u32执行错误"));
    return value;
}
