// The serial connection and the terminal over a real pseudo-terminal: what the
// tool opens, writes and shows, byte for byte.
#include "dialog_recorder.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "ota_frame.h"
#include "pty_pair.h"
#include "serial_setting.h"
#include "terminal_view.h"
#include "window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include <termios.h>

// Every paragraph of a view: its text (trailing blanks cut) and colour.
static QStringList view_lines(QTextBrowser *view)
{
    QStringList lines;
    for (QTextBlock b = view->document()->firstBlock(); b.isValid(); b = b.next())
        lines << b.text().trimmed() + '|' +
                     b.begin().fragment().charFormat().foreground().color().name();
    return lines;
}

class tst_serial_line : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    pty_pair *pty = nullptr;
    QTextBrowser *view = nullptr;

    QString status() { return window->statusBar()->findChild<QLabel *>()->text(); }
    QAction *action(const char *name) { return child<QAction>(window, name); }
    void connect_to_pty(const QString &baud = QStringLiteral("115200"))
    {
        apply_serial_choice(find_top_level<serial_setting>(), pty->slave_path(), baud);
        action("action_serial_conneect")->trigger();
        QCOMPARE(status(), QStringLiteral("连接到 %1 : %2").arg(pty->slave_path(), baud));
    }
    void type_and_send(const QString &text)
    {
        child<QLineEdit>(window, "lineedit_send")->setText(text);
        QTest::mouseClick(child<QPushButton>(window, "pushbutton_send"), Qt::LeftButton);
    }
    // Connect and settings enabled, disconnect disabled, or the other way round.
    bool actions_say_connected(bool connected)
    {
        return action("action_serial_conneect")->isEnabled() != connected &&
               action("action_serial_set")->isEnabled() != connected &&
               action("action_serial_disconneect")->isEnabled() == connected;
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void init()
    {
        window = new MainWindow;
        window->show();
        pty = new pty_pair;
        view = child<QTextBrowser>(window, "text_browser");
        QVERIFY(pty->is_valid());
    }
    void cleanup() { delete window, delete pty; }

    void connect_failure()
    {
        auto *settings = find_top_level<serial_setting>();
        for (const QString &port_name : {QString(), QStringLiteral("/dev/ttyDOES_NOT_EXIST")}) {
            child<QComboBox>(settings, "combobox_port")->setCurrentIndex(-1); // no port chosen
            port_name.isEmpty() ? child<QPushButton>(settings, "button_apply")->click()
                                : apply_serial_choice(settings, port_name);
            QSerialPort reference(port_name);
            QVERIFY(!reference.open(QIODevice::ReadWrite) && !reference.errorString().isEmpty());
            QString status_while_open = QStringLiteral("unset");
            modal_answerer answerer([&](QMessageBox *) { status_while_open = status(); });
            window->statusBar()->findChild<QLabel *>()->clear();
            action("action_serial_conneect")->trigger();
            QCOMPARE(answerer.boxes.size(), 1);
            QCOMPARE(answerer.boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(answerer.boxes[0].title + answerer.boxes[0].text,
                     "错误" + reference.errorString());
            QVERIFY(status_while_open.isEmpty()); // the status follows the box
            QCOMPARE(status(), QStringLiteral("连接失败"));
            QVERIFY(actions_say_connected(false));
        }
    }

    void connect_applies_line_settings_data()
    {
        QTest::addColumn<int>("speed");
        for (const auto &[baud, speed] :
             {std::pair{"9600", B9600}, {"19200", B19200}, {"38400", B38400}, {"115200", B115200}})
            QTest::newRow(baud) << int(speed);
    }
    void connect_applies_line_settings()
    {
        QFETCH(int, speed);
        connect_to_pty(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(actions_say_connected(true));
        termios line{};
        QCOMPARE(tcgetattr(pty->master(), &line), 0);
        QCOMPARE(int(cfgetispeed(&line)) * 1000 + int(cfgetospeed(&line)), speed * 1001);
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));

        window->statusBar()->findChild<QLabel *>()->clear();
        dialog_recorder dialogs; // a second connect changes nothing: still the same open line
        QVERIFY(QMetaObject::invokeMethod(window, "connect_serial_port") &&
                dialogs.boxes.isEmpty());
        type_and_send(QStringLiteral("Z"));
        QCOMPARE(status() + pty->read_master(1), QStringLiteral("Z"));
        action("action_serial_disconneect")->trigger();
        for (int round = 0; round < 2; ++round) { // also when nothing is open
            QCOMPARE(status(), QStringLiteral("断开连接"));
            QVERIFY(actions_say_connected(false));
            window->statusBar()->findChild<QLabel *>()->clear();
            QVERIFY(QMetaObject::invokeMethod(window, "disconnect_serial_port"));
        }
        QSerialPort other(pty->slave_path()); // really closed: someone else can open it
        QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
    }

    void send_data();
    void send();
    void view_keeps_the_newest_lines_on_a_busy_line_until_lost();
};

void tst_serial_line::send_data()
{
    QTest::addColumn<QString>("clicks"); // check boxes clicked, in order; "set": rn set by code
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("echo"); // none: nothing was sent
    QTest::addColumn<QString>("new_status");
    QTest::addColumn<QByteArray>("bytes");
    const auto row = [](const char *name, const char *clicks, const QString &text, const char *echo,
                        const QString &status, const QByteArray &bytes = QByteArray()) {
        QTest::newRow(name) << clicks << text << QString::fromUtf8(echo) << status << bytes;
    };
    const QString ok = QStringLiteral("连接到 %1 : 115200"), hex = QStringLiteral("Hex发送");
    const QString unpaired = QStringLiteral("Hex格式错误：最后一个十六进制数字不成对，未发送");
    row("text", "", "AT", "发: 41 54", ok, "AT");
    row("CR LF", "rn", "AT", "发: 41 54 0D 0A", QStringLiteral("加回车换行发送"), "AT\r\n");
    row("CR LF off", "rn rn", "B", "发: 42", QStringLiteral("取消回车换行发送"), "B");
    row("rn set by code", "set", "C", "发: 43", ok, "C");
    row("CR LF then hex", "rn hex", "41", "发: 41", hex, "A");
    row("hex off again", "rn hex hex", "41", "发: 34 31", QStringLiteral("字符串发送"), "41");
    row("non-latin1", "", QString::fromUtf8("a中é"), "发: 61 3F E9", ok, "a?\xe9");
    row("empty text", "", "", "发:", ok);
    row("empty hex", "hex", "", "发:", hex);
    row("hex pairs", "hex", "01 02 0a", "发: 01 02 0A", hex, "\x01\x02\x0a");
    row("hex packed", "hex", "1234\n00FF 7f 80 51 5A", "发: 12 34 00 FF 7F 80 51 5A", hex,
        QByteArray("\x12\x34\x00\xff\x7f\x80\x51\x5a", 8));
    row("hex unpaired last", "hex", "123", "", unpaired);
    row("hex lone digit", "hex", "A", "", unpaired);
    row("hex blank in pair", "hex", "1 2", "",
        QStringLiteral("Hex格式错误：只能输入十六进制数字、空格和换行，未发送"));
    row("not connected", "", "hi", "", QStringLiteral("串口未连接，未发送"));
}

void tst_serial_line::send()
{
    QFETCH(QString, clicks);
    QFETCH(QString, text);
    QFETCH(QString, echo);
    QFETCH(QString, new_status);
    QFETCH(QByteArray, bytes);
    const bool connected = new_status != QStringLiteral("串口未连接，未发送");
    if (connected)
        connect_to_pty();
    auto *rn = child<QCheckBox>(window, "checkbox_is_rn");
    auto *hex = child<QCheckBox>(window, "checkbox_is_hex");
    for (const QString &box : clicks.split(' ', Qt::SkipEmptyParts))
        box == "set" ? rn->setChecked(true) : (box == "rn" ? rn : hex)->click();
    QVERIFY(rn->isEnabled() != hex->isChecked() && !(hex->isChecked() && rn->isChecked()));
    dialog_recorder dialogs;
    type_and_send(text);
    QCOMPARE(pty->read_master(bytes.size() + 1, 60), bytes);
    QCOMPARE(status(), QString(new_status).replace("%1", pty->slave_path()));
    QVERIFY(dialogs.boxes.isEmpty());
    QCOMPARE(child<QLineEdit>(window, "lineedit_send")->text(), text); // the line keeps its text
    if (echo.isEmpty()) {
        QTest::qWait(60);
        QVERIFY(view->toPlainText().isEmpty());
    } else {
        QTRY_COMPARE(view_lines(view), QStringList(echo + "|#0000ff"));
        QVERIFY(view->toPlainText().startsWith(echo + ' ')); // every byte followed by a blank
    }
    if (connected) { // a refused line changes no mode: the next one goes out as usual
        type_and_send(hex->isChecked() ? QStringLiteral("5A") : QStringLiteral("Z"));
        QCOMPARE(pty->read_master(4, 60), bytes.endsWith("\r\n") ? "Z\r\n" : "Z");
    }
}

void tst_serial_line::view_keeps_the_newest_lines_on_a_busy_line_until_lost()
{
    view->findChild<terminal_view *>()->set_limit(1200); // small enough to see every step
    connect_to_pty();
    QByteArray sent; // the master is not read: the driver's buffer fills up, the line stays open
    for (char c = 'a'; c < 'g'; ++c) {
        const QByteArray line(child<QLineEdit>(window, "lineedit_send")->maxLength(), c);
        type_and_send(QString::fromLatin1(line));
        sent += line;
    }
    QTest::qWait(200);
    QCOMPARE(status(), QStringLiteral("连接到 %1 : 115200").arg(pty->slave_path()));
    QCOMPARE(pty->read_master(sent.size()), sent); // every byte, in order
    QTRY_VERIFY(view_lines(view).first().startsWith(QStringLiteral("……（较早的显示内容已移除")));
    type_and_send(QStringLiteral("ab")); // not yet shown when cleared
    child<QLineEdit>(window, "lineedit_send")->setText(QStringLiteral("kept"));
    action("action_clear")->trigger(); // the note goes too
    QCOMPARE(pty->read_master(2), QByteArray("ab"));
    QTest::qWait(60);
    QVERIFY(view->toPlainText().isEmpty());
    QCOMPARE(child<QLineEdit>(window, "lineedit_send")->text(), QStringLiteral("kept"));
    QVERIFY(actions_say_connected(true));

    child<QCheckBox>(window, "checkbox_is_hex")->click();
    QStringList all;
    for (int i = 0; i < 40; ++i) {
        const QString hex = QString::asprintf("%02X 00 11 22 33 44 55 66 77 88 99 AA BB CC DD", i);
        type_and_send(hex);
        all << "发: " + hex + "|#0000ff";
        if (i % 3 == 0) { // each received chunk is a paragraph of its own, in arrival order
            QVERIFY(pty->write_master(QByteArray(1, char(i)) + "\xff"));
            all << QString::asprintf("收: %02X FF|#ff0000", i);
            QTRY_COMPARE(view_lines(view).last(), all.last());
            QVERIFY(view->document()->characterCount() <= 1200);
        }
        if (i == 6) // below the limit the view holds every line, and no note
            QCOMPARE(view_lines(view), all);
    }
    const QStringList shown = view_lines(view);
    QVERIFY(view->toPlainText().endsWith(QStringLiteral("收: 27 FF "))); // ends with one blank
    QVERIFY(shown.size() > 10 && shown.size() < all.size() * 2 / 3);
    const int removed = all.size() + 1 - shown.size();
    QCOMPARE(shown, QStringList(
                        QStringLiteral("……（较早的显示内容已移除，共%1行）|#a0a0a4").arg(removed)) +
                        all.mid(removed));
    QCOMPARE(pty->read_master(40 * 15).size(), 40 * 15);

    // Past the limit a frame still reaches the OTA client.
    QTemporaryFile image;
    QVERIFY(image.open() && image.write(QByteArray(32, 'i')) == 32 && image.flush());
    dialog_recorder dialogs;
    dialogs.file_answers << image.fileName();
    main_window_driver driver(window);
    driver.single_press();
    QTRY_COMPARE(dialogs.file_requests.size(), 1);
    driver.double_press();
    QCOMPARE(pty->read_master(13), ota_frame::build_start_frame(32));
    QVERIFY(pty->write_master(ota_frame::build_frame(1, QByteArray("\0\0\0\x10", 4))));
    const QByteArray data_frame = ota_frame::build_data_frame(0, QByteArray(16, 'i').data(), 16);
    QCOMPARE(pty->read_master(data_frame.size()), data_frame);
    QTRY_VERIFY(view_lines(view).last().startsWith(QStringLiteral("发: 51 5A 03 02 00 14 00 00")));
    QVERIFY(view_lines(view).first().startsWith(QStringLiteral("……（较早的显示内容已移除，共")));

    const QString path = pty->slave_path();
    pty->close_master(); // the device goes away
    QTRY_VERIFY(actions_say_connected(false));
    QCOMPARE(status(), "连接已丢失：" + path.mid(5)); // as the port list names it
    delete pty; // the port was closed: the user connects again once the device is back
    pty = new pty_pair;
    connect_to_pty();
    type_and_send(QStringLiteral("6F 6B"));
    QCOMPARE(pty->read_master(2), QByteArray("ok"));
}

QTEST_MAIN(tst_serial_line)
#include "tst_serial_line.moc"
