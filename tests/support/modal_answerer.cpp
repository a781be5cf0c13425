#include "modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>

modal_answerer::modal_answerer(std::function<void(QMessageBox *)> while_open, int watchdog_ms)
    : while_open(std::move(while_open)), watchdog_ms(watchdog_ms)
{
    QObject::connect(&poll, &QTimer::timeout,
                     [this] { answer(QApplication::activeModalWidget()); });
    poll.start(10);
}

void modal_answerer::answer(QWidget *modal)
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

void modal_answerer::answer(QFileDialog *dialog)
{
    if (dialog != answered_dialog) {
        answered_dialog = dialog;
        file_dialogs.append(dialog->windowTitle());
        answered_path = file_answers.isEmpty() ? QString() : file_answers.takeFirst();
    } else if (since_answer.elapsed() < 300) {
        return; // one answer per dialog until it had time to close
    }
    since_answer.start();
    if (answered_path.isEmpty()) {
        dialog->reject();
        return;
    }
    // Not selectFile(): it leaves the name field alone once that field has the
    // focus, which it gets when the dialog's window is activated, at a moment
    // that varies from run to run; accept() then finds no name and keeps the
    // dialog open. The field itself takes the text whatever the focus.
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(answered_path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
}
