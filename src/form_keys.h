#ifndef FORM_KEYS_H
#define FORM_KEYS_H

#include <QKeyEvent>
#include <QPushButton>

// The keys a dialog answers, for windows that are plain widgets. Each
// returns whether it took the key; a window calls them from keyPressEvent,
// where keys arrive that its focused child left alone.
namespace form_keys {

// Escape closes the window, as its close button does.
inline bool close_on_escape(QWidget *window, QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    window->close();
    return true;
}

// Enter or Return on a focused push button presses it.
inline bool press_focused_button(QWidget *window, QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    auto *button = qobject_cast<QPushButton *>(window->focusWidget());
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    button->click();
    return true;
}

} // namespace form_keys

#endif // FORM_KEYS_H
