#include "elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

QSize elided_label::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")) + margin() * 2,
                 QLabel::minimumSizeHint().height());
}

void elided_label::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}

bool elided_label::event(QEvent *event)
{
    // The text is set by plain QLabel::setText calls, so the tooltip is made
    // when it is asked for rather than kept in step.
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

void elided_status_bar::paintEvent(QPaintEvent *event)
{
    const QString message = currentMessage();
    if (message.isEmpty()) {
        QStatusBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
    // Where QStatusBar itself puts a message: clear of the size grip at the
    // right end (taken by its size, as it may not be laid out yet).
    int right = width() - 12;
    const auto *grip = findChild<QSizeGrip *>(QString(), Qt::FindDirectChildrenOnly);
    if (grip && grip->isVisible())
        right = qMin(right, width() - grip->sizeHint().width());
    const QRect area(6, 0, qMax(0, right - 6), height());
    painter.setPen(palette().windowText().color());
    painter.drawText(QStyle::visualRect(layoutDirection(), rect(), area),
                     Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(message, Qt::ElideMiddle, area.width()));
}

bool elided_status_bar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !currentMessage().isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), currentMessage(), this);
        return true;
    }
    return QStatusBar::event(event);
}
