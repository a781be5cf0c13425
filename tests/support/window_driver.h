#ifndef WINDOW_DRIVER_H
#define WINDOW_DRIVER_H

#include <QApplication>
#include <QString>
#include <QWidget>

class MainWindow;
class QAction;
class QLabel;
class QProgressBar;
class QTextBrowser;
class serial_setting;

// The top-level window of the given class, or nullptr.
template <typename T> T *find_top_level()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (T *window = qobject_cast<T *>(widget))
            return window;
    }
    return nullptr;
}

// A widget or action by its object name; aborts the test when missing.
template <typename T> T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child '%s'", name);
    return found;
}

// Picks a port in the settings form as a user would, even one the system's
// port list does not show (a pseudo-terminal), and applies the choice.
void apply_serial_choice(serial_setting *form, const QString &port_name,
                         const QString &baud_text = QStringLiteral("115200"));

// Drives a MainWindow the way a user does.
class main_window_driver
{
public:
    explicit main_window_driver(MainWindow *window) : window(window) {}

    // Chooses `port_path` and `baud_rate` in the settings form, applies,
    // connects; returns whether the port opened.
    bool connect_to(const QString &port_path, int baud_rate = 115200);
    // One press of the OTA action; the file choice follows some 200 ms later.
    void single_press();
    // Two presses in quick succession.
    void double_press();

    QAction *action(const char *name) const;
    QLabel *status_label() const;
    QProgressBar *progress_bar() const;
    QTextBrowser *text_browser() const;

private:
    MainWindow *window;
};

#endif // WINDOW_DRIVER_H
