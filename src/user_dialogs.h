#ifndef USER_DIALOGS_H
#define USER_DIALOGS_H

#include <QString>

class QWidget;

// The one way the windows open modal message boxes and file dialogs. The
// default implementation uses QMessageBox and QFileDialog; tests install
// their own to record what was shown and to answer it.
class user_dialogs
{
public:
    enum class box_kind
    {
        information,
        warning,
        critical
    };

    virtual ~user_dialogs() = default;

    virtual void message_box(box_kind kind, QWidget *parent, const QString &title,
                             const QString &text);
    virtual QString open_file_name(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter);
    virtual QString save_file_name(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter);

    // The implementation in use; never null. Installing nullptr restores the
    // default one. The caller keeps ownership of what it installs.
    static user_dialogs &current();
    static void install(user_dialogs *dialogs);

    static void information(QWidget *parent, const QString &title, const QString &text)
    {
        current().message_box(box_kind::information, parent, title, text);
    }
    static void warning(QWidget *parent, const QString &title, const QString &text)
    {
        current().message_box(box_kind::warning, parent, title, text);
    }
    static void critical(QWidget *parent, const QString &title, const QString &text)
    {
        current().message_box(box_kind::critical, parent, title, text);
    }
};

#endif // USER_DIALOGS_H
