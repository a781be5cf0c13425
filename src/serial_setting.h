#ifndef SERIAL_SETTING_H
#define SERIAL_SETTING_H

#include "serial_config.h"

#include <QWidget>

namespace Ui {
class serial_setting;
}

// The small window in which the user picks the serial port and baud rate.
class serial_setting : public QWidget
{
    Q_OBJECT

public:
    explicit serial_setting(QWidget *parent = nullptr);
    ~serial_setting() override;

    void refresh_port_list();
    void update_serial_config();
    serial_config_t get_serial_config() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    Ui::serial_setting *ui;
    serial_config_t serial_config;
};

#endif // SERIAL_SETTING_H
