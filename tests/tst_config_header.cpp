// The header configuration form: check length rules, the length displays and
// what reaches the record.
#include "check_length.h"
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "modal_answerer.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

namespace {

template <typename T> T *child(QWidget &form, const char *name)
{
    T *widget = form.findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// Replaces the field's text the way a user does, then leaves it with Return.
void type_check_len(config_header_t &form, const QString &text)
{
    QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
    field->clear();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class tst_config_header : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void starts_with_the_defaults();
    void normalisation_through_the_form_data();
    void normalisation_through_the_form();
    void validator_refuses_keystrokes();
    void lengths_count_utf16_units();
    void apply_takes_the_widgets_and_hides();
    void closing_without_apply_keeps_the_record();
    void rejected_text_with_a_real_message_box();
};

void tst_config_header::starts_with_the_defaults()
{
    config_header_t form;
    const header_info_t header = form.get_header_info();
    QCOMPARE(header.product_info_len, 6u);
    QCOMPARE(header.product_info, QStringLiteral("K58TQE"));
    QCOMPARE(header.boot_version_len, quint16(9));
    QCOMPARE(header.boot_version, QStringLiteral("v01.00.01"));
    QCOMPARE(header.app_version_len, quint16(9));
    QCOMPARE(header.app_version, QStringLiteral("v01.00.01"));
    QCOMPARE(header.boot_upgrade_flag, 0x8A8A8A8Au);
    QCOMPARE(header.app_upgrade_flag, 0x8A8A8A8Au);
    QCOMPARE(header.check_len, 5u);
    QCOMPARE(header.boot_file_size, 0u);
    QCOMPARE(header.app_file_size, 0u);

    QCOMPARE(form.windowTitle(), QStringLiteral("Vantrel工具集-头部信息配置界面"));
    QVERIFY(!form.isVisible());
    QVERIFY(!child<QLineEdit>(form, "lineedit_product_info_len")->isEnabled());
    QVERIFY(!child<QLineEdit>(form, "lineedit_boot_version_len")->isEnabled());
    QVERIFY(!child<QLineEdit>(form, "lineedit_app_version_len")->isEnabled());
    QCOMPARE(child<QLineEdit>(form, "lineedit_check_len")->text(), QStringLiteral("0x0005"));
    for (const char *name : {"radiobutton_boot", "radiobutton_app"}) {
        QRadioButton *button = child<QRadioButton>(form, name);
        QVERIFY(button->isChecked());
        QVERIFY(!button->autoExclusive());
    }
}

void tst_config_header::normalisation_through_the_form_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<quint32>("value");
    QTest::newRow("5") << "5" << true << "0x0005" << 5u;
    QTest::newRow("abc") << "abc" << true << "0x0abc" << 0xABCu;
    QTest::newRow("0X1f") << "0X1f" << true << "0x001f" << 31u;
    QTest::newRow("0x alone") << "0x" << true << "0x0000" << 0u;
    QTest::newRow("empty") << "" << true << "0x0000" << 0u;
    QTest::newRow("six digits") << "123456" << true << "0x123456" << 1193046u;
    QTest::newRow("0x1234 kept") << "0x1234" << true << "0x1234" << 0x1234u;
    QTest::newRow("0x12") << "0x12" << true << "0x0012" << 0x12u;
    QTest::newRow("x1 is not a number") << "x1" << true << "0x00x1" << 0u;
    QTest::newRow("00x1") << "00x1" << false << "" << 0u;
    QTest::newRow("10x") << "10x" << false << "" << 0u;
    QTest::newRow("1230x") << "1230x" << false << "" << 0u;
    QTest::newRow("0x0x") << "0x0x" << false << "" << 0u;
    QTest::newRow("0xx") << "0xx" << false << "" << 0u;
    QTest::newRow("0xX1") << "0xX1" << false << "" << 0u;
}

void tst_config_header::normalisation_through_the_form()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, normalised);
    QFETCH(quint32, value);
    QString direct;
    QCOMPARE(check_length::normalise(typed, &direct), accepted);

    dialog_recorder dialogs;
    config_header_t form;
    form.show();
    type_check_len(form, typed);
    QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
    if (accepted) {
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(field->text(), normalised);
    } else {
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].kind, user_dialogs::box_kind::information);
        QCOMPARE(dialogs.boxes[0].title, QStringLiteral("输入错误"));
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("请重新输入"));
        QCOMPARE(field->text(), QString());
    }
    // The record changes only on apply; a cleared field applies as 0.
    QCOMPARE(form.get_header_info().check_len, 5u);
    QTest::mouseClick(child<QPushButton>(form, "pusshbutton_apply"), Qt::LeftButton);
    QCOMPARE(form.get_header_info().check_len, value);
}

void tst_config_header::validator_refuses_keystrokes()
{
    config_header_t form;
    QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
    field->clear();
    QTest::keyClicks(field, "12g- 3456789");
    QCOMPARE(field->text(), QStringLiteral("123456"));
    field->clear();
    QTest::keyClicks(field, "0XaBx");
    QCOMPARE(field->text(), QStringLiteral("0XaBx"));
}

void tst_config_header::lengths_count_utf16_units()
{
    config_header_t form;
    QLineEdit *product = child<QLineEdit>(form, "lineedit_product_info");
    QLineEdit *product_len = child<QLineEdit>(form, "lineedit_product_info_len");
    product->setText(QString::fromUtf8("中文"));
    QCOMPARE(product_len->text(), QStringLiteral("2"));
    product->setText(QString::fromUtf8("a\xf0\x9f\x98\x80"));
    QCOMPARE(product_len->text(), QStringLiteral("3"));
    product->clear();
    QCOMPARE(product_len->text(), QStringLiteral("0"));

    QLineEdit *boot = child<QLineEdit>(form, "lineedit_boot_version");
    boot->clear();
    QTest::keyClicks(boot, "v2.0");
    QCOMPARE(child<QLineEdit>(form, "lineedit_boot_version_len")->text(), QStringLiteral("4"));
    child<QLineEdit>(form, "lineedit_app_version")->setText(QStringLiteral("  v3 "));
    QCOMPARE(child<QLineEdit>(form, "lineedit_app_version_len")->text(), QStringLiteral("5"));
    // Only apply reaches the record.
    QCOMPARE(form.get_header_info().product_info_len, 6u);
}

void tst_config_header::apply_takes_the_widgets_and_hides()
{
    config_header_t form;
    form.show();
    child<QLineEdit>(form, "lineedit_product_info")->setText(QString::fromUtf8("产品X"));
    child<QLineEdit>(form, "lineedit_boot_version")->setText(QString());
    child<QLineEdit>(form, "lineedit_app_version")->setText(QStringLiteral(" v9 "));
    type_check_len(form, QStringLiteral("1000"));
    QTest::mouseClick(child<QRadioButton>(form, "radiobutton_boot"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(form, "pusshbutton_apply"), Qt::LeftButton);

    QVERIFY(!form.isVisible());
    header_info_t header = form.get_header_info();
    QCOMPARE(header.product_info, QString::fromUtf8("产品X"));
    QCOMPARE(header.product_info_len, 3u);
    QCOMPARE(header.boot_version, QString());
    QCOMPARE(header.boot_version_len, quint16(0));
    QCOMPARE(header.app_version, QStringLiteral(" v9 "));
    QCOMPARE(header.app_version_len, quint16(4));
    QCOMPARE(header.check_len, 0x1000u);
    QCOMPARE(header.boot_upgrade_flag, 0x5A5A5A5Au);
    QCOMPARE(header.app_upgrade_flag, 0x8A8A8A8Au);

    // Unticking one leaves the other as it is; both off gives both "no".
    form.show();
    QTest::mouseClick(child<QRadioButton>(form, "radiobutton_app"), Qt::LeftButton);
    QVERIFY(!child<QRadioButton>(form, "radiobutton_boot")->isChecked());
    QTest::mouseClick(child<QPushButton>(form, "pusshbutton_apply"), Qt::LeftButton);
    header = form.get_header_info();
    QCOMPARE(header.boot_upgrade_flag, 0x5A5A5A5Au);
    QCOMPARE(header.app_upgrade_flag, 0x5A5A5A5Au);
    form.show();
    QTest::mouseClick(child<QRadioButton>(form, "radiobutton_boot"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(form, "radiobutton_app"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(form, "pusshbutton_apply"), Qt::LeftButton);
    QCOMPARE(form.get_header_info().boot_upgrade_flag, 0x8A8A8A8Au);
    QCOMPARE(form.get_header_info().app_upgrade_flag, 0x8A8A8A8Au);
}

void tst_config_header::closing_without_apply_keeps_the_record()
{
    config_header_t form;
    form.header_info.boot_file_size = 1234;
    form.show();
    child<QLineEdit>(form, "lineedit_product_info")->setText(QStringLiteral("OTHER"));
    type_check_len(form, QStringLiteral("20"));
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.get_header_info().product_info, QStringLiteral("K58TQE"));
    QCOMPARE(form.get_header_info().check_len, 5u);
    // The widgets keep the edits, and the next apply takes them; the sizes,
    // which belong to the package maker, are never touched by the form.
    form.show();
    QTest::mouseClick(child<QPushButton>(form, "pusshbutton_apply"), Qt::LeftButton);
    QCOMPARE(form.get_header_info().product_info, QStringLiteral("OTHER"));
    QCOMPARE(form.get_header_info().check_len, 0x20u);
    QCOMPARE(form.get_header_info().boot_file_size, 1234u);
}

void tst_config_header::rejected_text_with_a_real_message_box()
{
    config_header_t form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
    field->setFocus();

    QString field_while_open = QStringLiteral("never seen");
    modal_answerer answerer([&](QMessageBox *) { field_while_open = field->text(); });

    field->clear();
    QTest::keyClicks(field, "0xx");
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("输入错误"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("请重新输入"));
    QCOMPARE(field_while_open, QString());
    // The box took the focus, which finishes the editing once more; the
    // field must still be empty afterwards, not a normalised 0x0000.
    QApplication::processEvents();
    QCOMPARE(field->text(), QString());
}

QTEST_MAIN(tst_config_header)
#include "tst_config_header.moc"
