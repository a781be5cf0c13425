#ifndef MODAL_ANSWERER_H
#define MODAL_ANSWERER_H

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class QFileDialog;

// While it lives, answers the real modal dialogs as a user would click them:
// a QMessageBox with OK (or Yes), recorded in `boxes`, `while_open` running
// first with the box still open; a QFileDialog with the next of
// `file_answers` (an empty string, or none left, cancels), its title recorded
// in `file_dialogs`. Any modal left open for `watchdog_ms` is closed, so a
// failed check fails the test instead of hanging it.
class modal_answerer
{
public:
    struct box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit modal_answerer(std::function<void(QMessageBox *)> while_open = {},
                            int watchdog_ms = 10000);

    QList<box> boxes;
    QStringList file_answers;
    QStringList file_dialogs;

private:
    void answer(QWidget *modal);
    void answer(QFileDialog *dialog);

    std::function<void(QMessageBox *)> while_open;
    int watchdog_ms;
    QTimer poll;
    QPointer<QWidget> open_modal;
    QElapsedTimer open_for;
    QPointer<QFileDialog> answered_dialog;
    QString answered_path;
    QElapsedTimer since_answer;
};

#endif // MODAL_ANSWERER_H
