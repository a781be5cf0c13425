#ifndef DIALOG_RECORDER_H
#define DIALOG_RECORDER_H

#include "user_dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

// Stands in for the real message boxes and file dialogs while installed:
// records every box and answers file dialogs from a queue (an empty string
// is a cancel; an empty queue cancels too).
class dialog_recorder : public user_dialogs
{
public:
    struct box
    {
        box_kind kind;
        QString title;
        QString text;
    };
    struct file_request
    {
        bool save;
        QString caption;
        QString dir;
        QString filter;
    };

    dialog_recorder() { user_dialogs::install(this); }
    ~dialog_recorder() override { user_dialogs::install(nullptr); }

    void message_box(box_kind kind, QWidget *, const QString &title, const QString &text) override
    {
        boxes.append(box{kind, title, text});
        if (while_box_open)
            while_box_open(boxes.last());
    }
    QString open_file_name(QWidget *, const QString &caption, const QString &dir,
                           const QString &filter) override
    {
        file_requests.append(file_request{false, caption, dir, filter});
        return take_answer();
    }
    QString save_file_name(QWidget *, const QString &caption, const QString &dir,
                           const QString &filter) override
    {
        file_requests.append(file_request{true, caption, dir, filter});
        return take_answer();
    }
    QString take_answer() { return file_answers.isEmpty() ? QString() : file_answers.takeFirst(); }

    QList<box> boxes;
    QList<file_request> file_requests;
    QStringList file_answers;
    // Runs inside each message box, as the nested event loop of a real box would.
    std::function<void(const box &)> while_box_open;
};

#endif // DIALOG_RECORDER_H
