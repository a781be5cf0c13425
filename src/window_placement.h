#ifndef WINDOW_PLACEMENT_H
#define WINDOW_PLACEMENT_H

class QWidget;

// How the top-level windows meet the desktop.
namespace window_placement {

// Shows the window, or brings it to the front when it is shown already
// (show() alone would leave it behind the window the user works in).
void show_in_front(QWidget *window);

// From now on, each time the window is shown, makes it no larger than the
// free area of its screen (a small screen, or a large scale factor); a size
// that fits is left as it is.
void keep_within_screen(QWidget *window);

} // namespace window_placement

#endif // WINDOW_PLACEMENT_H
