#ifndef WINDOW_PLACEMENT_H
#define WINDOW_PLACEMENT_H

class QWidget;

// How the top-level windows meet the desktop.
namespace window_placement {

// Shows the window, or brings it to the front when it is shown already
// (show() alone would leave it behind the window the user works in).
void show_in_front(QWidget *window);

} // namespace window_placement

#endif // WINDOW_PLACEMENT_H
