#ifndef WINDOW_LOOKUP_H
#define WINDOW_LOOKUP_H

#include <QApplication>
#include <QString>
#include <QWidget>

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

// A widget or action by its object name; fails the calling test when missing.
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

#endif // WINDOW_LOOKUP_H
