// The terminal: send line, send modes, echo of sent bytes, clearing.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "byte_text.h"
#include "terminal_view.h"

#include <QLabel>
#include <QTimer>

void MainWindow::on_pushbutton_send_clicked()
{
    const QString text = ui->lineedit_send->text();
    if (!is_hex_send) {
        send_data(byte_text::text_to_bytes(text, is_rn_send));
        return;
    }
    byte_text::hex_fault fault = byte_text::hex_fault::none;
    const QByteArray bytes = byte_text::hex_text_to_bytes(text, &fault);
    // A stray character would otherwise turn into a byte nobody typed, and
    // sending the pairs alone would lose the digit typed last.
    switch (fault) {
    case byte_text::hex_fault::none:
        break;
    case byte_text::hex_fault::bad_character:
        show_send_refusal(QStringLiteral("Hex格式错误：只能输入十六进制数字、空格和换行，未发送"));
        return;
    case byte_text::hex_fault::blank_in_pair:
        show_send_refusal(
            QStringLiteral("Hex格式错误：一个字节的两位十六进制数字之间不能有空格或换行，未发送"));
        return;
    case byte_text::hex_fault::unpaired_last_digit:
        show_send_refusal(QStringLiteral("Hex格式错误：最后一个十六进制数字不成对，未发送"));
        return;
    }
    send_data(bytes);
}

bool MainWindow::send_data(const QByteArray &data)
{
    if (!serial_port->isOpen()) {
        // An echo would claim bytes went out that never did.
        show_send_refusal(QStringLiteral("串口未连接，未发送"));
        return false;
    }
    // The port hands the bytes to the driver as soon as it takes them; forcing
    // them in here would fail on a full driver buffer as if the device were
    // gone.
    const qint64 written = serial_port->write(data);
    if (written == data.size())
        clear_send_refusal();
    append_coloured_line(byte_text::sent_colour, QStringLiteral("发: "), data);
    return written == data.size();
}

void MainWindow::show_send_refusal(const QString &text)
{
    if (send_refusal.isEmpty() || status_label->text() != send_refusal)
        status_before_refusal = status_label->text();
    send_refusal = text;
    status_label->setText(text);
}

void MainWindow::clear_send_refusal()
{
    // Only while the refusal is still shown: a later status of its own
    // (a mode switch, a connection) stays.
    if (!send_refusal.isEmpty() && status_label->text() == send_refusal)
        status_label->setText(status_before_refusal);
    send_refusal.clear();
}

void MainWindow::append_coloured_line(const char *colour, const QString &prefix,
                                      const QByteArray &bytes)
{
    // Laying out a paragraph costs far more than receiving or sending it, so
    // the view takes the paragraphs in batches a few times per frame
    // interval, in their order and exactly as they are, while the serial
    // traffic goes on without waiting for the layout.
    pending_lines.append(
        byte_text::coloured_paragraph(colour, byte_text::byte_line(prefix, bytes)));
    if (!view_timer->isActive())
        view_timer->start();
}

void MainWindow::show_pending_lines()
{
    text_view->append(pending_lines);
    pending_lines.clear();
}

void MainWindow::on_checkbox_is_hex_clicked(bool checked)
{
    if (checked) {
        is_hex_send = true;
        ui->checkbox_is_rn->setEnabled(false);
        ui->checkbox_is_rn->setChecked(false);
        is_rn_send = false;
        status_label->setText(QStringLiteral("Hex发送"));
    } else {
        is_hex_send = false;
        ui->checkbox_is_rn->setEnabled(true);
        status_label->setText(QStringLiteral("字符串发送"));
    }
}

void MainWindow::on_checkbox_is_rn_clicked(bool checked)
{
    is_rn_send = checked;
    status_label->setText(checked ? QStringLiteral("加回车换行发送")
                                  : QStringLiteral("取消回车换行发送"));
}

void MainWindow::clear_fun()
{
    usart_ba.clear();
    pending_lines.clear();
    text_view->clear();
}
