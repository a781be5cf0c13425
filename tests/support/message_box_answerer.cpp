#include "message_box_answerer.h"

#include <QAbstractButton>
#include <QApplication>

message_box_answerer::message_box_answerer(std::function<void(QMessageBox *)> while_open,
                                           int watchdog_ms)
    : while_open(std::move(while_open))
{
    QObject::connect(&poll, &QTimer::timeout, [this] {
        auto *modal = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        boxes.append(box{modal->windowTitle(), modal->text(), modal->icon()});
        if (this->while_open)
            this->while_open(modal);
        modal->button(QMessageBox::Ok)->click();
    });
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    poll.start(10);
    watchdog.start(watchdog_ms);
}
