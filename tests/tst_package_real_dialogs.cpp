// The package maker through the real QFileDialog and QMessageBox, answered
// as a user would click them.
#include "hex_dump.h"
#include "make_package_t.h"
#include "modal_answerer.h"
#include "package_files.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

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

    modal_answerer answerer;
    answerer.file_answers << boot;
    window.findChild<QPushButton *>(QStringLiteral("pushbutton_open_boot_file"))->click();
    QCOMPARE(answerer.file_dialogs, QStringList{QStringLiteral("Open File")});
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("line_boot_input_file_dir"))->text(),
             boot);
    QCOMPARE(window.findChild<QTextBrowser *>(QStringLiteral("textBrowser"))->toPlainText(),
             hex_dump_text(package_files::counting(40)));
}

void tst_package_real_dialogs::start_check_through_the_message_box()
{
    make_package_t window;
    window.show();
    modal_answerer answerer;
    window.findChild<QPushButton *>(QStringLiteral("pushbutton_start_make"))->click();
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("错误"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("boot文件路径未输入"));
}

QTEST_MAIN(tst_package_real_dialogs)
#include "tst_package_real_dialogs.moc"
