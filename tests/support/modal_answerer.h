#pragma once
#include <QtWidgets>
#include <functional>

// While it lives, answers real modal dialogs as a user would: a QMessageBox with OK (or Yes),
// recorded in `boxes` after `while_open` ran with it open; a QFileDialog with the next of
// `file_answers` (an empty string, or none left, cancels), its title in `file_dialogs`. A modal
// left open for 10 s is closed, so a failed check fails the test instead of hanging it.
class modal_answerer
{
public:
    struct box
    {
        QString title, text;
        QMessageBox::Icon icon;
    };
    explicit modal_answerer(std::function<void(QMessageBox *)> while_open = {})
        : while_open(std::move(while_open))
    {
        QObject::connect(&poll, &QTimer::timeout,
                         [this] { answer(QApplication::activeModalWidget()); });
        poll.start(10);
    }
    QList<box> boxes;
    QStringList file_answers, file_dialogs;

private:
    void answer(QWidget *modal)
    {
        if (!modal)
            return;
        if (modal != open_modal) {
            open_modal = modal;
            open_for.start();
        } else if (open_for.elapsed() > watchdog_ms) {
            qWarning("closing a modal left open: %s", qPrintable(modal->windowTitle()));
            modal->close();
            return;
        }
        if (auto *message = qobject_cast<QMessageBox *>(modal)) {
            boxes.append(box{message->windowTitle(), message->text(), message->icon()});
            if (while_open)
                while_open(message);
            QAbstractButton *button = message->button(QMessageBox::Ok);
            open_modal = nullptr;
            (button ? button : message->button(QMessageBox::Yes))->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            answer(dialog);
        }
    }
    void answer(QFileDialog *dialog)
    {
        if (dialog != answered_dialog) {
            answered_dialog = dialog;
            file_dialogs.append(dialog->windowTitle());
            answered_path = file_answers.isEmpty() ? QString() : file_answers.takeFirst();
        } else if (since_answer.elapsed() < 300) {
            return; // one answer per dialog until it had time to close
        }
        since_answer.start();
        if (answered_path.isEmpty())
            return dialog->reject();
        // Not selectFile(): that leaves the name field alone once it has the focus, which it
        // gets when the window is activated, at a moment that varies from run to run; accept()
        // then finds no name. The field itself takes the text whatever the focus.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(answered_path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }

    std::function<void(QMessageBox *)> while_open;
    const qint64 watchdog_ms = 10000;
    QTimer poll;
    QPointer<QWidget> open_modal;
    QPointer<QFileDialog> answered_dialog;
    QElapsedTimer open_for, since_answer;
    QString answered_path;
};
