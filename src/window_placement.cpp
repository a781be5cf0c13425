#include "window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace window_placement {

namespace {

void fit_to_screen(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    QScreen *screen = handle ? handle->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame is known once the window has been on the screen; before
    // that, room is left for a title bar.
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isNull())
        frame.setHeight(window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
    window->resize(window->size().boundedTo(screen->availableGeometry().size() - frame));
}

class screen_fit : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Sent before the window appears, so it never shows at the old size.
        if (event->type() == QEvent::Show && watched == parent())
            fit_to_screen(static_cast<QWidget *>(watched));
        return false;
    }
};

} // namespace

void show_in_front(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void keep_within_screen(QWidget *window)
{
    window->installEventFilter(new screen_fit(window));
}

} // namespace window_placement
