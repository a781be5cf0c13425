#ifndef MESSAGE_BOX_ANSWERER_H
#define MESSAGE_BOX_ANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>

// While it lives, answers every real modal QMessageBox with OK and records
// it; `while_open` runs before the click, with the box still open. A
// watchdog closes any modal left open, so a failed check fails the test
// instead of hanging it.
class message_box_answerer
{
public:
    struct box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit message_box_answerer(std::function<void(QMessageBox *)> while_open = {},
                                  int watchdog_ms = 5000);

    QList<box> boxes;

private:
    std::function<void(QMessageBox *)> while_open;
    QTimer poll;
    QTimer watchdog;
};

#endif // MESSAGE_BOX_ANSWERER_H
