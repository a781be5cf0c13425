#include "window_placement.h"

#include <QWidget>

namespace window_placement {

void show_in_front(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace window_placement
