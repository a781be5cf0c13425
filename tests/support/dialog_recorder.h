#pragma once
#include "user_dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

// Stands in for the real boxes and file dialogs while it lives: records every box and answers
// file dialogs from `file_answers` (an empty string, or none left, cancels).
class dialog_recorder : public user_dialogs
{
public:
    struct box
    {
        box_kind kind;
        QString title, text;
    };
    struct file_request
    {
        bool save;
        QString caption, dir, filter;
    };
    dialog_recorder() { user_dialogs::install(this); }
    ~dialog_recorder() override { user_dialogs::install(nullptr); }
    void message_box(box_kind kind, QWidget *, const QString &title, const QString &text) override
    {
        boxes.append(box{kind, title, text});
        if (while_box_open) // as the nested event loop of a real box would
            while_box_open(boxes.last());
    }
    QString open_file_name(QWidget *, const QString &c, const QString &d, const QString &f) override
    {
        if (while_file_dialog_open) // as the real dialog's event loop would
            while_file_dialog_open();
        file_requests.append({false, c, d, f});
        return file_answers.isEmpty() ? QString() : file_answers.takeFirst();
    }
    QString save_file_name(QWidget *, const QString &c, const QString &d, const QString &f) override
    {
        file_requests.append({true, c, d, f});
        return file_answers.isEmpty() ? QString() : file_answers.takeFirst();
    }
    QList<box> boxes;
    QList<file_request> file_requests;
    QStringList file_answers;
    std::function<void(const box &)> while_box_open;
    std::function<void()> while_file_dialog_open;
};
