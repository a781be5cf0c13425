#include "user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace {
user_dialogs default_dialogs;
user_dialogs *installed_dialogs = nullptr;

// "bin" for a name filter "bin文件(*.bin)"; empty unless it has one pattern.
QString suffix_of(const QString &name_filter)
{
    static const QRegularExpression one_pattern(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    return one_pattern.match(name_filter).captured(1);
}
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
    // As getSaveFileName, but a name without an ending gets the chosen
    // filter's, before the dialog asks whether to replace that file.
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix_of(dialog.selectedNameFilter()));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog](const QString &chosen) { dialog.setDefaultSuffix(suffix_of(chosen)); });
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

user_dialogs &user_dialogs::current()
{
    return installed_dialogs ? *installed_dialogs : default_dialogs;
}

void user_dialogs::install(user_dialogs *dialogs)
{
    installed_dialogs = dialogs;
}
