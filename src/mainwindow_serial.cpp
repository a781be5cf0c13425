// Opening and closing the serial port.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "serial_line.h"
#include "serial_setting.h"
#include "user_dialogs.h"

#include <QLabel>

void MainWindow::connect_serial_port()
{
    if (serial_port->isOpen())
        return;

    const serial_config_t config = setting_window->get_serial_config();
    // An empty name would open the device folder itself and report "Is a
    // directory".
    if (config.port_name.isEmpty()) {
        user_dialogs::critical(this, QStringLiteral("错误"),
                               tr("未选择串口\r\n请先在串口设置中选择串口"));
        status_label->setText(tr("连接失败"));
        return;
    }
    serial_port->setPortName(config.port_name);
    serial_port->setBaudRate(config.baud_rate, QSerialPort::AllDirections);
    serial_port->setDataBits(QSerialPort::Data8);
    serial_port->setParity(QSerialPort::NoParity);
    serial_port->setStopBits(QSerialPort::OneStop);
    serial_port->setFlowControl(QSerialPort::NoFlowControl);

    if (serial_port->open(QIODevice::ReadWrite)) {
        set_connected_actions(true);
        connected_port_name = config.port_name;
        status_label->setText(tr("连接到 %1 : %2").arg(config.port_name, config.baud_rate_text));
    } else {
        user_dialogs::critical(this, QStringLiteral("错误"), serial_port->errorString());
        status_label->setText(tr("连接失败"));
    }
}

void MainWindow::disconnect_serial_port()
{
    if (serial_port->isOpen())
        serial_port->close();
    set_connected_actions(false);
    status_label->setText(tr("断开连接"));
}

void MainWindow::handle_port_error(QSerialPort::SerialPortError error)
{
    // Once the other end is gone the port keeps reporting the same error on
    // every pass of the event loop; closing it once stops that.
    if (!serial_line::is_lost(error))
        return;
    if (!serial_port->isOpen())
        return;
    serial_port->close();
    set_connected_actions(false);
    const QString lost = tr("连接已丢失：%1").arg(connected_port_name);
    // Nothing more can reach the device: the upgrade, if any, is over.
    if (ota.is_ota_running())
        show_upgrade_ended(lost + QStringLiteral("，") + lost_upgrade_text());
    else
        status_label->setText(lost);
    ota.stop();
}
