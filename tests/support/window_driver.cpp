#include "window_driver.h"

#include "mainwindow.h"
#include "serial_setting.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>

void apply_serial_choice(serial_setting *form, const QString &port_name, const QString &baud_text)
{
    auto *ports = child<QComboBox>(form, "combobox_port");
    int index = ports->findText(port_name);
    if (index < 0) {
        ports->addItem(port_name);
        index = ports->count() - 1;
    }
    ports->setCurrentIndex(index);
    auto *bauds = child<QComboBox>(form, "combobox_buad");
    bauds->setCurrentIndex(bauds->findText(baud_text));
    child<QPushButton>(form, "button_apply")->click();
}

bool main_window_driver::connect_to(const QString &port_path, int baud_rate)
{
    serial_setting *form = find_top_level<serial_setting>();
    if (!form)
        return false;
    apply_serial_choice(form, port_path, QString::number(baud_rate));
    action("action_serial_conneect")->trigger();
    return action("action_serial_disconneect")->isEnabled();
}

void main_window_driver::single_press()
{
    action("action_ota")->trigger();
}

void main_window_driver::double_press()
{
    action("action_ota")->trigger();
    action("action_ota")->trigger();
}

QAction *main_window_driver::action(const char *name) const
{
    return child<QAction>(window, name);
}

QLabel *main_window_driver::status_label() const
{
    return window->statusBar()->findChild<QLabel *>();
}

QProgressBar *main_window_driver::progress_bar() const
{
    return child<QProgressBar>(window, "ota_progress_bar");
}

QTextBrowser *main_window_driver::text_browser() const
{
    return child<QTextBrowser>(window, "text_browser");
}
