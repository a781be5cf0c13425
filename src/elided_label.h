#ifndef ELIDED_LABEL_H
#define ELIDED_LABEL_H

#include <QLabel>

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

#endif // ELIDED_LABEL_H
