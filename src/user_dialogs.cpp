#include "user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {
user_dialogs default_dialogs;
user_dialogs *installed_dialogs = nullptr;
} // namespace

void user_dialogs::message_box(box_kind kind, QWidget *parent, const QString &title,
                               const QString &text)
{
    switch (kind) {
    case box_kind::information:
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
        break;
    case box_kind::warning:
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
        break;
    case box_kind::critical:
        QMessageBox::critical(parent, title, text, QMessageBox::Ok);
        break;
    }
}

QString user_dialogs::open_file_name(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString user_dialogs::save_file_name(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

user_dialogs &user_dialogs::current()
{
    return installed_dialogs ? *installed_dialogs : default_dialogs;
}

void user_dialogs::install(user_dialogs *dialogs)
{
    installed_dialogs = dialogs;
}
