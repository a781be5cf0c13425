#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "config_header_t.h"
#include "elided_label.h"
#include "make_package_t.h"
#include "serial_setting.h"
#include "terminal_view.h"
#include "window_placement.h"

#include <QIcon>
#include <QLabel>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), serial_port(nullptr), status_label(nullptr),
      setting_window(nullptr), package_window(nullptr), tick_timer(nullptr), ota_click_state(0),
      timer_count(0), ota_click_time(0), is_hex_send(false), is_rn_send(false), view_timer(nullptr)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vantrel工具集-v1.1.1"));
    setWindowIcon(QIcon(QStringLiteral(":/images/toolkit_2.png")));
    window_placement::keep_within_screen(this);

    serial_port = new QSerialPort();
    // A long text (a deep port or file path) must not widen the window.
    status_label = new elided_label();
    setting_window = new serial_setting();
    package_window = new make_package_t();
    tick_timer = new QTimer();

    ui->statusBar->addWidget(status_label, 0);

    set_connected_actions(false);

    ui->ota_progress_bar->hide();
    ui->ota_progress_bar->setOrientation(Qt::Horizontal);
    ui->ota_progress_bar->setMinimum(0);
    ui->ota_progress_bar->setMaximum(100);
    ui->ota_progress_bar->setValue(0);
    ui->ota_progress_bar->setInvertedAppearance(false);

    connect_actions();
    connect(serial_port, &QSerialPort::readyRead, this, &MainWindow::read_data);
    connect(tick_timer, SIGNAL(timeout()), this, SLOT(handle_timeout()));
    // A vanished device makes the port report errors over and over while it
    // stays open; only that case is watched (see handle_port_error).
    connect(serial_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { handle_port_error(error); });

    tick_timer->start(1);

    view_timer = new QTimer(this);
    view_timer->setSingleShot(true);
    view_timer->setInterval(view_refresh_ms);
    connect(view_timer, &QTimer::timeout, this, &MainWindow::show_pending_lines);
    text_view = new terminal_view(ui->text_browser);

    // Enter in the send line is a press of the send button.
    connect(ui->lineedit_send, &QLineEdit::returnPressed, ui->pushbutton_send,
            &QAbstractButton::click);
}

MainWindow::~MainWindow()
{
    delete ui;
    delete tick_timer;
    delete package_window;
    delete setting_window;
    delete serial_port;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    setting_window->close();
    package_window->header_window()->close();
    if (serial_port->isOpen())
        serial_port->close();
    ota.stop();
    QMainWindow::closeEvent(event);
}

void MainWindow::connect_actions()
{
    connect(ui->action_serial_conneect, &QAction::triggered, this,
            &MainWindow::connect_serial_port);
    connect(ui->action_serial_disconneect, &QAction::triggered, this,
            &MainWindow::disconnect_serial_port);
    connect(ui->action_ota, &QAction::triggered, this, &MainWindow::ota_fun);
    connect(ui->action_clear, &QAction::triggered, this, &MainWindow::clear_fun);
    connect(ui->action_serial_set, &QAction::triggered, setting_window,
            [this] { window_placement::show_in_front(setting_window); });
    connect(ui->action_package, &QAction::triggered, package_window, &QWidget::show);
    connect(ui->action_package, &QAction::triggered, this, &QWidget::hide);
    connect(package_window, &make_package_t::return_mainwindow_siganal, this, &QWidget::show);
    connect(this, &MainWindow::ota_trans_data_signal, this, &MainWindow::ota_data_trans);
}

void MainWindow::set_connected_actions(bool connected)
{
    ui->action_serial_conneect->setEnabled(!connected);
    ui->action_serial_disconneect->setEnabled(connected);
    ui->action_serial_set->setEnabled(!connected);
}
