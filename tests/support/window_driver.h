#pragma once
#include "mainwindow.h"
#include "serial_setting.h"

#include <QtWidgets>

template <typename T> T *find_top_level()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (T *window = qobject_cast<T *>(widget))
            return window;
    return nullptr;
}

// A widget or action by its object name; aborts the test when missing.
template <typename T> T *child(QObject *parent, const char *name)
{
    if (T *found = parent->findChild<T *>(QString::fromLatin1(name)))
        return found;
    qFatal("no child '%s'", name);
}

// Picks a port in the settings form as a user would, even one the system's port list does not
// show (a pseudo-terminal), and applies the choice.
inline void apply_serial_choice(serial_setting *form, const QString &port_name,
                                const QString &baud_text = QStringLiteral("115200"))
{
    auto *ports = child<QComboBox>(form, "combobox_port");
    if (ports->findText(port_name) < 0)
        ports->addItem(port_name);
    ports->setCurrentIndex(ports->findText(port_name));
    auto *bauds = child<QComboBox>(form, "combobox_buad");
    bauds->setCurrentIndex(bauds->findText(baud_text));
    child<QPushButton>(form, "button_apply")->click();
}

class main_window_driver
{
public:
    explicit main_window_driver(MainWindow *window) : window(window) {}
    // Chooses the port and rate in the settings form, connects; returns whether it opened.
    bool connect_to(const QString &port_path, int baud_rate = 115200)
    {
        apply_serial_choice(find_top_level<serial_setting>(), port_path,
                            QString::number(baud_rate));
        action("action_serial_conneect")->trigger();
        return action("action_serial_disconneect")->isEnabled();
    }
    // One press of the OTA action; the file choice follows some 200 ms later.
    void single_press() { action("action_ota")->trigger(); }
    void double_press() { single_press(), single_press(); }
    QAction *action(const char *name) const { return child<QAction>(window, name); }
    QLabel *status_label() const { return window->statusBar()->findChild<QLabel *>(); }
    QProgressBar *progress_bar() const { return child<QProgressBar>(window, "ota_progress_bar"); }
    QTextBrowser *text_browser() const { return child<QTextBrowser>(window, "text_browser"); }

private:
    MainWindow *window;
};
