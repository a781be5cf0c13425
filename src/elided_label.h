#ifndef ELIDED_LABEL_H
#define ELIDED_LABEL_H

#include <QLabel>
#include <QStatusBar>

// A one-line label that never asks for the width of its text, so a long
// text (a deep path, say) cannot widen its window: what does not fit is cut
// in the middle with an ellipsis, and the tooltip shows the whole text.
// text() stays the whole text.
class elided_label : public QLabel
{
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

// A status bar whose messages are cut in the middle in the same way when
// they do not fit, the tooltip showing the whole message.
class elided_status_bar : public QStatusBar
{
public:
    using QStatusBar::QStatusBar;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

#endif // ELIDED_LABEL_H
