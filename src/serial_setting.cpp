#include "serial_setting.h"
#include "ui_serial_setting.h"

#include "form_keys.h"
#include "window_placement.h"

#include <QIcon>
#include <QSerialPortInfo>

namespace {
const qint32 baud_rates[] = {9600, 19200, 38400, 115200};
// The port list pre-selects the fourth port; with fewer there is no choice.
const int preselected_port_index = 3;
} // namespace

serial_setting::serial_setting(QWidget *parent) : QWidget(parent), ui(new Ui::serial_setting)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vantrel工具集-串口信息配置界面"));
    setWindowIcon(QIcon(QStringLiteral(":/images/toolkit_2.png")));
    window_placement::keep_within_screen(this);

    connect(ui->button_apply, &QPushButton::clicked, this, [this] {
        update_serial_config();
        hide();
    });
    connect(ui->button_refresh, &QPushButton::clicked, this, [this] { refresh_port_list(); });

    refresh_port_list();
    update_serial_config();
}

serial_setting::~serial_setting()
{
    delete ui;
}

void serial_setting::refresh_port_list()
{
    ui->combobox_buad->clear();
    for (const qint32 rate : baud_rates)
        ui->combobox_buad->addItem(QString::number(rate), rate);
    ui->combobox_buad->setCurrentIndex(0);

    ui->combobox_port->clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->combobox_port->addItem(info.portName());
    ui->combobox_port->setCurrentIndex(preselected_port_index);
}

void serial_setting::update_serial_config()
{
    serial_config.port_name = ui->combobox_port->currentText();
    serial_config.baud_rate = ui->combobox_buad->currentData().toInt();
    serial_config.baud_rate_text = QString::number(serial_config.baud_rate, 10);
}

void serial_setting::keyPressEvent(QKeyEvent *event)
{
    if (!form_keys::close_on_escape(this, event) && !form_keys::press_focused_button(this, event))
        QWidget::keyPressEvent(event);
}

serial_config_t serial_setting::get_serial_config() const
{
    return serial_config;
}
