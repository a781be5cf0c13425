// The serial connection and the terminal over a real pseudo-terminal: what the
// tool opens, writes and shows, byte for byte.
#include "dialog_recorder.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "pty_pair.h"
#include "serial_setting.h"
#include "window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include <ctime>
#include <termios.h>

namespace {

struct terminal_line
{
    QString text;
    QString colour;
};

// The newest paragraph of the view: its text and the colour of its bytes.
terminal_line last_line(MainWindow &window)
{
    const QTextBlock block = child<QTextBrowser>(&window, "text_browser")->document()->lastBlock();
    const QTextBlock::iterator first = block.begin();
    if (first.atEnd())
        return {block.text(), QString()};
    return {block.text(), first.fragment().charFormat().foreground().color().name()};
}

QString status_text(MainWindow &window)
{
    return window.statusBar()->findChild<QLabel *>()->text();
}

} // namespace

class tst_serial_line : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connect_failure_shows_the_port_error_data();
    void connect_failure_shows_the_port_error();
    void connect_failure_through_the_real_message_box();
    void connect_applies_line_settings_data();
    void connect_applies_line_settings();
    void second_connect_changes_nothing();
    void disconnect_always_ends_disconnected();

    void send_writes_exact_bytes_data();
    void send_writes_exact_bytes();
    void hex_text_with_stray_characters_sends_nothing();
    void empty_text_sends_nothing_but_echoes_the_prefix();
    void send_without_open_port_still_echoes();
    void check_boxes_switch_the_send_mode();
    void received_bytes_show_as_red_line();
    void clear_empties_the_view();
    void view_keeps_every_line_in_order();
    void clear_drops_lines_not_yet_shown();
    void lost_port_is_closed_once();

private:
    void connect_to_pty(const QString &baud = QStringLiteral("115200"));
    void type_and_send(const QString &text);

    MainWindow *window = nullptr;
    pty_pair *pty = nullptr;
};

void tst_serial_line::initTestCase()
{
    Q_INIT_RESOURCE(images);
}

void tst_serial_line::init()
{
    window = new MainWindow;
    window->show();
    pty = new pty_pair;
    QVERIFY(pty->is_valid());
}

void tst_serial_line::cleanup()
{
    delete window;
    window = nullptr;
    delete pty;
    pty = nullptr;
}

void tst_serial_line::connect_to_pty(const QString &baud)
{
    apply_serial_choice(find_top_level<serial_setting>(), pty->slave_path(), baud);
    child<QAction>(window, "action_serial_conneect")->trigger();
    QCOMPARE(status_text(*window), QStringLiteral("连接到 %1 : %2").arg(pty->slave_path(), baud));
}

void tst_serial_line::type_and_send(const QString &text)
{
    child<QLineEdit>(window, "lineedit_send")->setText(text);
    QTest::mouseClick(child<QPushButton>(window, "pushbutton_send"), Qt::LeftButton);
}

void tst_serial_line::connect_failure_shows_the_port_error_data()
{
    QTest::addColumn<QString>("port_name");
    QTest::newRow("no port chosen") << QString();
    QTest::newRow("missing device") << QStringLiteral("/dev/ttyDOES_NOT_EXIST");
}

void tst_serial_line::connect_failure_shows_the_port_error()
{
    QFETCH(QString, port_name);
    auto *settings = find_top_level<serial_setting>();
    if (port_name.isEmpty()) {
        child<QComboBox>(settings, "combobox_port")->setCurrentIndex(-1);
        child<QPushButton>(settings, "button_apply")->click();
    } else {
        apply_serial_choice(settings, port_name);
    }
    QSerialPort reference;
    reference.setPortName(port_name);
    QVERIFY(!reference.open(QIODevice::ReadWrite));

    dialog_recorder dialogs;
    QString status_while_box_open;
    dialogs.while_box_open = [&](const dialog_recorder::box &) {
        status_while_box_open = status_text(*window);
    };
    child<QAction>(window, "action_serial_conneect")->trigger();

    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].kind, user_dialogs::box_kind::critical);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("错误"));
    QCOMPARE(dialogs.boxes[0].text, reference.errorString());
    QVERIFY(!dialogs.boxes[0].text.isEmpty());
    // The status follows the box, not the other way round.
    QVERIFY(status_while_box_open.isEmpty());
    QCOMPARE(status_text(*window), QStringLiteral("连接失败"));
    QVERIFY(child<QAction>(window, "action_serial_conneect")->isEnabled());
    QVERIFY(child<QAction>(window, "action_serial_set")->isEnabled());
    QVERIFY(!child<QAction>(window, "action_serial_disconneect")->isEnabled());
}

void tst_serial_line::connect_failure_through_the_real_message_box()
{
    apply_serial_choice(find_top_level<serial_setting>(), QStringLiteral("/dev/ttyDOES_NOT_EXIST"));
    modal_answerer answerer;
    child<QAction>(window, "action_serial_conneect")->trigger();

    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("错误"));
    QCOMPARE(answerer.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!answerer.boxes[0].text.isEmpty());
    QCOMPARE(status_text(*window), QStringLiteral("连接失败"));
}

void tst_serial_line::connect_applies_line_settings_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("speed");
    QTest::newRow("9600") << "9600" << int(B9600);
    QTest::newRow("19200") << "19200" << int(B19200);
    QTest::newRow("38400") << "38400" << int(B38400);
    QTest::newRow("115200") << "115200" << int(B115200);
}

void tst_serial_line::connect_applies_line_settings()
{
    QFETCH(QString, baud);
    QFETCH(int, speed);
    connect_to_pty(baud);

    QVERIFY(!child<QAction>(window, "action_serial_conneect")->isEnabled());
    QVERIFY(!child<QAction>(window, "action_serial_set")->isEnabled());
    QVERIFY(child<QAction>(window, "action_serial_disconneect")->isEnabled());

    termios line{};
    QCOMPARE(tcgetattr(pty->master(), &line), 0);
    QCOMPARE(int(cfgetispeed(&line)), speed);
    QCOMPARE(int(cfgetospeed(&line)), speed);
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
}

void tst_serial_line::second_connect_changes_nothing()
{
    connect_to_pty();
    child<QCheckBox>(window, "checkbox_is_hex")->click();
    dialog_recorder dialogs;
    QVERIFY(QMetaObject::invokeMethod(window, "connect_serial_port"));
    QVERIFY(dialogs.boxes.isEmpty());
    QCOMPARE(status_text(*window), QStringLiteral("Hex发送"));
    // Still the same open line.
    type_and_send(QStringLiteral("5A"));
    QCOMPARE(pty->read_master(1), QByteArray("\x5a"));
}

void tst_serial_line::disconnect_always_ends_disconnected()
{
    connect_to_pty();
    child<QAction>(window, "action_serial_disconneect")->trigger();
    QCOMPARE(status_text(*window), QStringLiteral("断开连接"));
    QVERIFY(child<QAction>(window, "action_serial_conneect")->isEnabled());
    QVERIFY(child<QAction>(window, "action_serial_set")->isEnabled());
    QVERIFY(!child<QAction>(window, "action_serial_disconneect")->isEnabled());

    // The port is really closed: it can be opened again by someone else.
    QSerialPort other;
    other.setPortName(pty->slave_path());
    QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
    other.close();

    // Also when nothing is open.
    QVERIFY(QMetaObject::invokeMethod(window, "disconnect_serial_port"));
    QCOMPARE(status_text(*window), QStringLiteral("断开连接"));
    QVERIFY(child<QAction>(window, "action_serial_conneect")->isEnabled());
    QVERIFY(!child<QAction>(window, "action_serial_disconneect")->isEnabled());
}

void tst_serial_line::send_writes_exact_bytes_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("cr_lf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("echo");
    QTest::newRow("text") << false << false << "AT" << QByteArray("AT") << "发: 41 54 ";
    QTest::newRow("text with CR LF")
        << false << true << "AT" << QByteArray("AT\r\n") << "发: 41 54 0D 0A ";
    QTest::newRow("non-latin1 as question marks")
        << false << false << QString::fromUtf8("a中é") << QByteArray("a?\xe9") << "发: 61 3F E9 ";
    QTest::newRow("hex pairs") << true << false << "01 02 0a" << QByteArray("\x01\x02\x0a", 3)
                               << "发: 01 02 0A ";
    QTest::newRow("hex odd digit dropped")
        << true << false << "123" << QByteArray("\x12") << "发: 12 ";
    QTest::newRow("hex spaced") << true << false << "12 34" << QByteArray("\x12\x34")
                                << "发: 12 34 ";
    QTest::newRow("hex every value")
        << true << false << "00 FF 7f 80 0d 0a 51 5A"
        << QByteArray("\x00\xff\x7f\x80\x0d\x0a\x51\x5a", 8) << "发: 00 FF 7F 80 0D 0A 51 5A ";
}

void tst_serial_line::send_writes_exact_bytes()
{
    QFETCH(bool, hex);
    QFETCH(bool, cr_lf);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, echo);
    connect_to_pty();
    if (cr_lf)
        child<QCheckBox>(window, "checkbox_is_rn")->click();
    if (hex)
        child<QCheckBox>(window, "checkbox_is_hex")->click();

    type_and_send(text);
    QCOMPARE(pty->read_master(bytes.size()), bytes);
    QCOMPARE(pty->read_master(1, 50), QByteArray());

    QTRY_COMPARE(last_line(*window).text.trimmed(), echo.trimmed());
    const terminal_line line = last_line(*window);
    QVERIFY(line.text.startsWith(echo));
    QCOMPARE(line.colour, QStringLiteral("#0000ff"));
    // The send line keeps its text.
    QCOMPARE(child<QLineEdit>(window, "lineedit_send")->text(), text);
}

void tst_serial_line::hex_text_with_stray_characters_sends_nothing()
{
    connect_to_pty();
    child<QCheckBox>(window, "checkbox_is_hex")->click();
    auto *view = child<QTextBrowser>(window, "text_browser");
    const QString before = view->toHtml();

    type_and_send(QStringLiteral("1 2"));
    QCOMPARE(pty->read_master(1, 100), QByteArray());
    QCOMPARE(view->toHtml(), before);
    QVERIFY(status_text(*window).startsWith(QStringLiteral("Hex格式错误")));

    // A correct line afterwards goes out as usual.
    type_and_send(QStringLiteral("12"));
    QCOMPARE(pty->read_master(1), QByteArray("\x12"));
}

void tst_serial_line::empty_text_sends_nothing_but_echoes_the_prefix()
{
    connect_to_pty();
    type_and_send(QString());
    QCOMPARE(pty->read_master(1, 100), QByteArray());
    QTRY_COMPARE(last_line(*window).text.trimmed(), QStringLiteral("发:"));
    const terminal_line line = last_line(*window);
    QCOMPARE(line.colour, QStringLiteral("#0000ff"));
}

void tst_serial_line::send_without_open_port_still_echoes()
{
    dialog_recorder dialogs;
    type_and_send(QStringLiteral("hi"));
    QVERIFY(dialogs.boxes.isEmpty());
    QTRY_COMPARE(last_line(*window).text.trimmed(), QStringLiteral("发: 68 69"));
    QVERIFY(status_text(*window).isEmpty());
}

void tst_serial_line::check_boxes_switch_the_send_mode()
{
    connect_to_pty();
    auto *rn = child<QCheckBox>(window, "checkbox_is_rn");
    auto *hex = child<QCheckBox>(window, "checkbox_is_hex");

    rn->click();
    QCOMPARE(status_text(*window), QStringLiteral("加回车换行发送"));
    type_and_send(QStringLiteral("A"));
    QCOMPARE(pty->read_master(3), QByteArray("A\r\n"));

    hex->click();
    QCOMPARE(status_text(*window), QStringLiteral("Hex发送"));
    QVERIFY(!rn->isEnabled());
    QVERIFY(!rn->isChecked());
    type_and_send(QStringLiteral("41"));
    QCOMPARE(pty->read_master(3, 100), QByteArray("A"));

    hex->click();
    QCOMPARE(status_text(*window), QStringLiteral("字符串发送"));
    QVERIFY(rn->isEnabled());
    QVERIFY(!rn->isChecked());
    type_and_send(QStringLiteral("41"));
    QCOMPARE(pty->read_master(4, 100), QByteArray("41"));

    rn->click();
    rn->click();
    QCOMPARE(status_text(*window), QStringLiteral("取消回车换行发送"));
    type_and_send(QStringLiteral("B"));
    QCOMPARE(pty->read_master(3, 100), QByteArray("B"));

    // Changing a box from code does not change the mode.
    rn->setChecked(true);
    type_and_send(QStringLiteral("C"));
    QCOMPARE(pty->read_master(3, 100), QByteArray("C"));
}

void tst_serial_line::received_bytes_show_as_red_line()
{
    connect_to_pty();
    QVERIFY(pty->write_master(QByteArray("\x0a\xff", 2)));
    QTRY_COMPARE(last_line(*window).text.trimmed(), QStringLiteral("收: 0A FF"));
    QVERIFY(last_line(*window).text.startsWith(QStringLiteral("收: 0A FF ")));
    QCOMPARE(last_line(*window).colour, QStringLiteral("#ff0000"));
}

void tst_serial_line::clear_empties_the_view()
{
    connect_to_pty();
    type_and_send(QStringLiteral("x"));
    QVERIFY(pty->write_master("y"));
    auto *view = child<QTextBrowser>(window, "text_browser");
    QTRY_VERIFY(view->toPlainText().contains(QStringLiteral("收: 79")));
    child<QLineEdit>(window, "lineedit_send")->setText(QStringLiteral("kept"));

    child<QAction>(window, "action_clear")->trigger();
    QVERIFY(view->toPlainText().isEmpty());
    QCOMPARE(child<QLineEdit>(window, "lineedit_send")->text(), QStringLiteral("kept"));
    QVERIFY(child<QAction>(window, "action_serial_disconneect")->isEnabled());
}

void tst_serial_line::view_keeps_every_line_in_order()
{
    connect_to_pty();
    child<QCheckBox>(window, "checkbox_is_hex")->click();
    QStringList expected;
    QStringList colours;
    for (int i = 0; i < 40; ++i) {
        const QString hex = QString::asprintf("%02X %02X", i, 255 - i);
        type_and_send(hex);
        expected << QStringLiteral("发: ") + hex;
        colours << QStringLiteral("#0000ff");
        if (i % 3 == 0) {
            QVERIFY(pty->write_master(QByteArray(1, char(i))));
            // Each received chunk is a paragraph of its own, in arrival order;
            // the sends in between reach the view together.
            const QString received = QStringLiteral("收: ") + QString::asprintf("%02X ", i);
            QTRY_VERIFY(child<QTextBrowser>(window, "text_browser")
                            ->toPlainText()
                            .trimmed()
                            .endsWith(received.trimmed()));
            expected << received.trimmed();
            colours << QStringLiteral("#ff0000");
        }
    }
    auto *document = child<QTextBrowser>(window, "text_browser")->document();
    QTRY_COMPARE(document->blockCount(), expected.size());
    QTextBlock block = document->firstBlock();
    for (int i = 0; i < expected.size(); ++i, block = block.next()) {
        QCOMPARE(block.text().trimmed(), expected[i]);
        QCOMPARE(block.begin().fragment().charFormat().foreground().color().name(), colours[i]);
    }
}

void tst_serial_line::clear_drops_lines_not_yet_shown()
{
    connect_to_pty();
    type_and_send(QStringLiteral("abc"));
    child<QAction>(window, "action_clear")->trigger();
    QCOMPARE(pty->read_master(3), QByteArray("abc"));
    QTest::qWait(100);
    QVERIFY(child<QTextBrowser>(window, "text_browser")->toPlainText().isEmpty());
}

void tst_serial_line::lost_port_is_closed_once()
{
    connect_to_pty();
    const QString path = pty->slave_path();
    QVERIFY(path.startsWith(QStringLiteral("/dev/")));
    pty->close_master();

    QTRY_VERIFY(child<QAction>(window, "action_serial_conneect")->isEnabled());
    QVERIFY(child<QAction>(window, "action_serial_set")->isEnabled());
    QVERIFY(!child<QAction>(window, "action_serial_disconneect")->isEnabled());
    // The port is named as the system's port list names it.
    QCOMPARE(status_text(*window), QStringLiteral("连接已丢失：%1").arg(path.mid(5)));

    // A port left open would keep the event loop busy with error reports.
    const std::clock_t cpu_before = std::clock();
    QTest::qWait(500);
    const double cpu_seconds = double(std::clock() - cpu_before) / CLOCKS_PER_SEC;
    QVERIFY2(cpu_seconds < 0.25, qPrintable(QString::number(cpu_seconds)));

    // The user can connect again once the device is back.
    delete pty;
    pty = new pty_pair;
    connect_to_pty();
    type_and_send(QStringLiteral("ok"));
    QCOMPARE(pty->read_master(2), QByteArray("ok"));
}

QTEST_MAIN(tst_serial_line)
#include "tst_serial_line.moc"
