// The package maker through the real QFileDialog and QMessageBox, answered
// by polling for the modal widget as a user would click it.
#include "hex_dump.h"
#include "make_package_t.h"
#include "package_files.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Calls `answer` with the first modal widget that shows up; a watchdog
// closes anything left open so that a failed check cannot hang the test.
class modal_answerer
{
public:
    explicit modal_answerer(std::function<void(QWidget *)> answer) : answer_(std::move(answer))
    {
        poll_.setInterval(10);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || answered_)
                return;
            answered_ = true;
            answer_(modal);
        });
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            while (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        poll_.start();
        watchdog_.start(10000);
    }
    bool answered() const { return answered_; }

private:
    std::function<void(QWidget *)> answer_;
    QTimer poll_;
    QTimer watchdog_;
    bool answered_ = false;
};

} // namespace

class tst_package_real_dialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void choose_through_the_file_dialog();
    void start_check_through_the_message_box();
};

void tst_package_real_dialogs::choose_through_the_file_dialog()
{
    QTemporaryDir dir;
    const QString boot = dir.filePath(QStringLiteral("boot.bin"));
    QVERIFY(package_files::write(boot, package_files::counting(40)));
    make_package_t window;
    window.show();

    QString caption;
    modal_answerer answerer([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        caption = dialog->windowTitle();
        dialog->selectFile(boot);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    window.findChild<QPushButton *>(QStringLiteral("pushbutton_open_boot_file"))->click();
    QVERIFY(answerer.answered());
    QCOMPARE(caption, QStringLiteral("Open File"));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("line_boot_input_file_dir"))->text(),
             boot);
    QCOMPARE(window.findChild<QTextBrowser *>(QStringLiteral("textBrowser"))->toPlainText(),
             hex_dump_text(package_files::counting(40)));
}

void tst_package_real_dialogs::start_check_through_the_message_box()
{
    make_package_t window;
    window.show();
    QString title;
    QString text;
    modal_answerer answerer([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("pushbutton_start_make"))->click();
    QVERIFY(answerer.answered());
    QCOMPARE(title, QStringLiteral("错误"));
    QCOMPARE(text, QStringLiteral("boot文件路径未输入"));
}

QTEST_MAIN(tst_package_real_dialogs)
#include "tst_package_real_dialogs.moc"
