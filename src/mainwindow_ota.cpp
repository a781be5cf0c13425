// The OTA upgrade client.
#include "mainwindow.h"

void MainWindow::ota_fun() {}

void MainWindow::handle_timeout()
{
    ++timer_count;
}

void MainWindow::ota_data_trans() {}

void MainWindow::choose_ota_file() {}

void MainWindow::ota_double_clicked() {}

void MainWindow::handle_ota_frame(const QByteArray &frame)
{
    Q_UNUSED(frame);
}

void MainWindow::send_ota_start_frame() {}

void MainWindow::send_ota_end_frame() {}

quint32 MainWindow::ba_to_u32(const QByteArray &bytes)
{
    Q_UNUSED(bytes);
    return 0;
}
