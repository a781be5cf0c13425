#include "dialog_recorder.h"

void dialog_recorder::message_box(box_kind kind, QWidget *, const QString &title,
                                  const QString &text)
{
    boxes.append(box{kind, title, text});
    if (while_box_open)
        while_box_open(boxes.last());
}

QString dialog_recorder::open_file_name(QWidget *, const QString &caption, const QString &dir,
                                        const QString &filter)
{
    file_requests.append(file_request{false, caption, dir, filter});
    return take_answer();
}

QString dialog_recorder::save_file_name(QWidget *, const QString &caption, const QString &dir,
                                        const QString &filter)
{
    file_requests.append(file_request{true, caption, dir, filter});
    return take_answer();
}

QString dialog_recorder::take_answer()
{
    return file_answers.isEmpty() ? QString() : file_answers.takeFirst();
}
