#ifndef MAIN_WINDOW_DRIVER_H
#define MAIN_WINDOW_DRIVER_H

#include <QString>

class MainWindow;
class QAction;
class QLabel;
class QProgressBar;
class QTextBrowser;

// Drives a MainWindow the way a user does: chooses a port by path in the
// settings form, connects, presses the OTA action.
class main_window_driver
{
public:
    explicit main_window_driver(MainWindow *window);

    // Selects `port_path` (added to the port list, as a pty is never listed)
    // and `baud_rate` in the settings form, applies, then connects.
    // Returns whether the port opened.
    bool connect_to(const QString &port_path, int baud_rate = 115200);

    // One press; the file choice follows some 200 ms later.
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

#endif // MAIN_WINDOW_DRIVER_H
