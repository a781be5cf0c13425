// The OTA upgrade client in the window: telling single from double presses,
// the file choice, and showing what the upgrade session says.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "ota_texts.h"
#include "user_dialogs.h"

#include <QDir>
#include <QLabel>

namespace {

const QString notice_title = QStringLiteral("提示信息");
const QString error_title = QStringLiteral("错误信息");
const QString file_chosen_while_running =
    QStringLiteral("OTA过程中进行了文件选择操作\r\n请重新开始OTA");
const QString cancel_notice = QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA");

// Box texts on one status line.
QString one_line(const QStringList &texts)
{
    return texts.join(QStringLiteral("\r\n"))
        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
        .join(QStringLiteral("，"));
}

// A click pair further apart than this many ticks is two single presses.
const quint32 double_click_ticks = 200;

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
    ota.discard_image();

    const QString path = user_dialogs::current().open_file_name(this, QStringLiteral("Open File"),
                                                                QDir::currentPath(), QString());
    if (path.isEmpty()) {
        if (ota.is_ota_running()) {
            ota.stop();
            show_upgrade_ended(tr("OTA已中止：OTA过程中进行了文件选择操作，未选择文件"));
            notify(file_chosen_while_running);
        } else {
            user_dialogs::information(this, error_title, QStringLiteral("请选择一个文件"));
        }
        return;
    }

    const bool loaded = load_ota_file(path);

    if (ota.is_ota_running()) {
        ota.stop();
        show_upgrade_ended(loaded ? tr("OTA已中止：OTA过程中选择了文件 %1").arg(path)
                                  : tr("OTA已中止：OTA过程中进行了文件选择操作，文件未载入"));
        notify(file_chosen_while_running);
    }
}

namespace {

// The box for an image that was not read, with the system's reason (which
// the shared text carries right behind it) on a line of its own.
QString image_refusal(const image_file::read_outcome &read)
{
    const QString text = ota_texts::image_refusal(read);
    if (read.error_text.isEmpty() || !text.endsWith(read.error_text))
        return text;
    return text.left(text.size() - read.error_text.size()) + QStringLiteral("\r\n") +
           read.error_text;
}

} // namespace

bool MainWindow::load_ota_file(const QString &path)
{
    QByteArray image;
    const image_file::read_outcome read =
        image_file::append_whole(path, image, image_file::max_upgrade_image_size);
    if (read.status != image_file::read_status::ok) {
        user_dialogs::information(this, error_title, image_refusal(read));
        return false;
    }
    ota.load_image(std::move(image));
    status_label->setText(QStringLiteral("选择OTA升级文件:") + path);
    return true;
}

void MainWindow::ota_double_clicked()
{
    qCDebug(ota_log) << "double clicked";
    if (!ota.is_file_loaded()) {
        notify(QStringLiteral("请选择一个文件"));
        return;
    }
    if (ota.is_ota_running()) {
        ota.stop();
        show_upgrade_ended(tr("OTA已取消"));
        notify(cancel_notice);
        return;
    }
    // A start request that cannot go out must not leave the device counted
    // as asked.
    if (!serial_port->isOpen()) {
        show_send_refusal(QStringLiteral("串口未连接，未发送"));
        return;
    }
    send_ota_start_frame();
}

void MainWindow::handle_ota_frame(const QByteArray &frame)
{
    const ota_session::reaction reaction = ota.handle_frame(frame);
    switch (reaction.what) {
    case ota_session::outcome::transfer_begun:
        status_label->setText(QStringLiteral("开始OTA传输"));
        ui->ota_progress_bar->setValue(0);
        ui->ota_progress_bar->show();
        emit ota_trans_data_signal();
        break;
    case ota_session::outcome::send_next:
        // The progress counts the frame that the emission has just sent.
        emit ota_trans_data_signal();
        ui->ota_progress_bar->setValue(ota.progress());
        break;
    case ota_session::outcome::succeeded:
        status_label->setText(QStringLiteral("OTA成功"));
        ui->ota_progress_bar->hide();
        break;
    case ota_session::outcome::nothing:
        break;
    case ota_session::outcome::refused:
    case ota_session::outcome::stalled: {
        const QStringList notices = ota_texts::notices(reaction.why, ota.slice_size());
        // A refusal ends the upgrade: the status says why before its box
        // opens.
        if (reaction.what == ota_session::outcome::refused)
            show_upgrade_ended(tr("OTA失败：%1").arg(one_line(notices)));
        // The upgrade counts as running while its last box is open; a
        // stalled one runs on until it is cancelled.
        for (const QString &notice : notices)
            notify(notice);
        if (reaction.what == ota_session::outcome::refused)
            ota.end_upgrade(reaction.upgrade);
        break;
    }
    }
}

void MainWindow::show_upgrade_ended(const QString &how)
{
    // A bar left standing at its last value would look like a transfer that
    // still goes on.
    ui->ota_progress_bar->hide();
    status_label->setText(how);
}

QString MainWindow::lost_upgrade_text() const
{
    if (ota.frames_total() == 0)
        return tr("OTA已中断");
    if (ota.frames_sent() == ota.frames_total())
        return tr("OTA已中断：%1帧已全部发送，未收到结束应答").arg(ota.frames_total());
    return tr("OTA已中断：已发送%1/%2帧").arg(ota.frames_sent()).arg(ota.frames_total());
}

void MainWindow::ota_data_trans()
{
    const QByteArray frame = ota.next_frame();
    if (!frame.isEmpty() && send_data(frame))
        ota.frame_sent();
}

void MainWindow::send_ota_start_frame()
{
    send_data(ota.start_request());
}
