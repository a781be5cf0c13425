#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QByteArray>
#include <QMainWindow>
#include <QSerialPort>
#include <QStringList>

#include "ota_session.h"

class QLabel;
class QTimer;
class serial_setting;
class make_package_t;
class terminal_view;

namespace Ui {
class MainWindow;
}

// The main window: tool bar, serial terminal and OTA upgrade client. Its
// slots are split over one source per subsystem (connection, terminal,
// receive path, OTA upgrade).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Writes bytes to the port (result unchecked) and echoes them in blue;
    // with no port open writes and echoes nothing and says so. Returns
    // whether the bytes were handed to the port.
    bool send_data(const QByteArray &data);

    // Received bytes that the frame search has not consumed yet (for the
    // benchmarks, which watch that the buffer stays bounded).
    int receive_buffer_size() const { return usart_ba.size(); }

signals:
    void ota_trans_data_signal();

protected:
    // The forms go with the main window, and the port is let go at once: a
    // form left open would keep the program running and the port locked.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void connect_serial_port();
    void disconnect_serial_port();
    void read_data();
    void ota_fun();
    void clear_fun();
    void on_pushbutton_send_clicked();
    void on_checkbox_is_hex_clicked(bool checked);
    void on_checkbox_is_rn_clicked(bool checked);
    void handle_timeout();
    void ota_data_trans();

private:
    void connect_actions();
    void set_connected_actions(bool connected);
    void handle_port_error(QSerialPort::SerialPortError error);
    // A send that did not go out says why in the status; one that goes out
    // takes that back and shows what was there before.
    void show_send_refusal(const QString &text);
    void clear_send_refusal();
    void append_coloured_line(const char *colour, const QString &prefix, const QByteArray &bytes);
    void show_pending_lines();
    void take_buffered_frame();

    // OTA upgrade
    void choose_ota_file();
    void ota_double_clicked();
    void handle_ota_frame(const QByteArray &frame);
    void send_ota_start_frame();
    bool load_ota_file(const QString &path);
    void notify(const QString &text);
    // Says how an upgrade ended other than by success, and stops the bar.
    void show_upgrade_ended(const QString &how);
    // Where an upgrade stood when the port went away.
    QString lost_upgrade_text() const;

    Ui::MainWindow *ui;
    QSerialPort *serial_port;
    QLabel *status_label;
    serial_setting *setting_window;
    make_package_t *package_window;
    QTimer *tick_timer;
    // The port as the user chose it, for the status texts.
    QString connected_port_name;

    // OTA upgrade: telling single from double presses, and the upgrade
    int ota_click_state;
    quint32 timer_count;
    quint32 ota_click_time;
    ota_session ota;

    QString send_refusal;
    QString status_before_refusal;

    bool is_hex_send;
    bool is_rn_send;
    QByteArray usart_ba;

    // How long a terminal line may wait before the view shows it.
    static constexpr int view_refresh_ms = 20;
    // Terminal paragraphs not yet in the view, oldest first, and the timer
    // that puts them there.
    QStringList pending_lines;
    QTimer *view_timer;
    terminal_view *text_view = nullptr;
};

#endif // MAINWINDOW_H
