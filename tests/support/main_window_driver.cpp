#include "main_window_driver.h"

#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>

main_window_driver::main_window_driver(MainWindow *window) : window(window) {}

bool main_window_driver::connect_to(const QString &port_path, int baud_rate)
{
    QWidget *form = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("serial_setting") &&
            widget->findChild<QComboBox *>(QStringLiteral("combobox_port")))
            form = widget;
    }
    if (!form)
        return false;
    auto *ports = form->findChild<QComboBox *>(QStringLiteral("combobox_port"));
    auto *rates = form->findChild<QComboBox *>(QStringLiteral("combobox_buad"));
    auto *apply = form->findChild<QPushButton *>(QStringLiteral("button_apply"));
    if (!ports || !rates || !apply)
        return false;
    ports->addItem(port_path);
    ports->setCurrentIndex(ports->count() - 1);
    rates->setCurrentIndex(rates->findText(QString::number(baud_rate)));
    apply->click();
    action("action_serial_conneect")->trigger();
    return action("action_serial_disconneect")->isEnabled();
}

void main_window_driver::single_press()
{
    action("action_ota")->trigger();
}

void main_window_driver::double_press()
{
    QAction *ota = action("action_ota");
    ota->trigger();
    ota->trigger();
}

QAction *main_window_driver::action(const char *name) const
{
    return window->findChild<QAction *>(QLatin1String(name));
}

QLabel *main_window_driver::status_label() const
{
    return window->statusBar()->findChild<QLabel *>();
}

QProgressBar *main_window_driver::progress_bar() const
{
    return window->findChild<QProgressBar *>(QStringLiteral("ota_progress_bar"));
}

QTextBrowser *main_window_driver::text_browser() const
{
    return window->findChild<QTextBrowser *>(QStringLiteral("text_browser"));
}
