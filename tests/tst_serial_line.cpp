// The main window's start-up state and its hand-over to the settings form and the package maker;
// the serial connection and the terminal over a real pseudo-terminal: what the tool opens,
// writes and shows, byte for byte.
#include "app_start.h"
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "mainwindow.h"
#include "make_package_t.h"
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
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include <termios.h>

class tst_serial_line : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    bool qt_texts_installed = false;
    pty_pair *pty = nullptr;
    QTextBrowser *view = nullptr;
    QLabel *status = nullptr;
    QLineEdit *line_edit = nullptr;

    // Every paragraph of the view: its text (trailing blanks cut) and colour.
    QStringList lines()
    {
        QStringList all;
        for (QTextBlock b = view->document()->firstBlock(); b.isValid(); b = b.next())
            all << b.text().trimmed() + '|' +
                       b.begin().fragment().charFormat().foreground().color().name();
        return all;
    }
    QAction *action(const char *name) { return child<QAction>(window, name); }
    void connect_to_pty(const QString &baud = QStringLiteral("115200"))
    {
        QVERIFY(main_window_driver(window).connect_to(pty->slave_path(), baud.toInt()));
        QCOMPARE(status->text(), QStringLiteral("连接到 %1 : %2").arg(pty->slave_path(), baud));
    }
    void send(const QString &text, bool by_enter = false)
    {
        line_edit->setText(text);
        if (by_enter)
            QTest::keyClick(line_edit, Qt::Key_Return);
        else
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
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        qt_texts_installed = prepare_application(*QCoreApplication::instance());
    }
    void init()
    {
        window = new MainWindow;
        window->show();
        pty = new pty_pair;
        QVERIFY(pty->is_valid());
        view = child<QTextBrowser>(window, "text_browser");
        status = main_window_driver(window).status_label();
        line_edit = child<QLineEdit>(window, "lineedit_send");
    }
    void cleanup() { delete window, delete pty; }

    void state_after_start()
    {
        main_window_driver driver(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Vantrel工具集-v1.1.1"));
        QStringList actions;
        for (QAction *action : child<QToolBar>(window, "mainToolBar")->actions())
            actions << action->objectName() + ' ' + action->text() + ' ' + action->toolTip() +
                           (action->isEnabled() ? "" : " disabled") +
                           (action->icon().isNull() ? " no icon" : "");
        QCOMPARE(actions, QStringList({"action_serial_set 串口设置 串口设置",
                                       "action_serial_conneect 串口连接 串口连接",
                                       "action_serial_disconneect 串口断开 串口断开连接 disabled",
                                       "action_clear 清除缓存 清除缓存",
                                       "action_package 制作升级包 制作升级包",
                                       "action_ota OTA升级 OTA升级"}));
        // Progress bar, hex and line-end boxes, settings form and package maker: all hidden or off.
        QProgressBar *bar = driver.progress_bar();
        QCOMPARE(QString::asprintf("%d %d-%d %d, %d %d, %d %d", bar->isVisible(), bar->minimum(),
                                   bar->maximum(), bar->value(),
                                   child<QCheckBox>(window, "checkbox_is_hex")->isChecked(),
                                   child<QCheckBox>(window, "checkbox_is_rn")->isChecked(),
                                   find_top_level<serial_setting>()->isVisible(),
                                   find_top_level<make_package_t>()->isVisible()),
                 QStringLiteral("0 0-100 0, 0 0, 0 0"));
        QCOMPARE(driver.status_label()->text() + driver.text_browser()->toPlainText(), QString());
        QCOMPARE(window->size(), QSize(657, 457)); // as it was made: that fits the screen
        // Qt's own texts, where Qt's translation is installed (a recommendation of the package).
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        const QString qt_texts_folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
        const QString qt_texts_folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
        QCOMPARE(qt_texts_installed, QFile::exists(qt_texts_folder + "/qt_zh_CN.qm"));
        if (qt_texts_installed)
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
        else
            qInfo("Qt's Chinese translation is not installed: its own texts stay English");
        // No button is a bare image: those have a tooltip.
        for (QPushButton *button :
             window->findChildren<QPushButton *>() +
                 find_top_level<serial_setting>()->findChildren<QPushButton *>())
            QVERIFY2(!(button->text() + button->toolTip()).isEmpty(),
                     qPrintable(button->objectName()));
        for (const char *name :
             {"toolkit_2", "settings", "connect", "disconnect", "package", "OTA", "clear", "send",
              "send_down", "flush", "flush_down", "right", "right_down"})
            QVERIFY2(QImage(QStringLiteral(":/images/%1.png").arg(name)).width() >= 64, name);
    }
    void settings_form_and_package_maker()
    {
        serial_setting *settings = find_top_level<serial_setting>();
        const auto chosen = [settings] {
            const serial_config_t c = settings->get_serial_config();
            return c.port_name + ' ' + QString::number(c.baud_rate) + ' ' + c.baud_rate_text;
        };
        // The system's ports, the fourth pre-selected; the four rates, 9600 first.
        const auto system_ports = QSerialPortInfo::availablePorts();
        auto *ports = child<QComboBox>(settings, "combobox_port");
        auto *bauds = child<QComboBox>(settings, "combobox_buad");
        QCOMPARE(ports->count(), system_ports.size());
        QStringList rates;
        for (int i = 0; i < bauds->count(); ++i)
            rates << bauds->itemText(i) + '=' + bauds->itemData(i).toString();
        QCOMPARE(rates, QStringList({"9600=9600", "19200=19200", "38400=38400", "115200=115200"}));
        QCOMPARE(chosen(), (system_ports.size() >= 4 ? system_ports[3].portName() : QString()) +
                               " 9600 9600");
        child<QAction>(window, "action_serial_set")->trigger();
        QVERIFY(settings->isVisible());
        apply_serial_choice(settings, QStringLiteral("ttyFAKE7"), QStringLiteral("38400"));
        QVERIFY(!settings->isVisible());
        QCOMPARE(chosen(), QStringLiteral("ttyFAKE7 38400 38400"));
        // Shown again with the choice; a refresh resets the lists, and closing without apply keeps
        // what was applied.
        child<QAction>(window, "action_serial_set")->trigger();
        QCOMPARE(ports->currentText() + ' ' + bauds->currentText(),
                 QStringLiteral("ttyFAKE7 38400"));
        bauds->setCurrentIndex(3);
        child<QPushButton>(settings, "button_refresh")->click();
        QCOMPARE(bauds->currentText(), QStringLiteral("9600"));
        QCOMPARE(ports->findText(QStringLiteral("ttyFAKE7")), -1);
        bauds->setCurrentIndex(1);
        // Still open behind the main window: the action brings it to the front.
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        child<QAction>(window, "action_serial_set")->trigger();
        QTRY_VERIFY(settings->isActiveWindow());
        // Escape closes it as its close button does; Enter presses the focused button.
        QTest::keyClick(bauds, Qt::Key_Escape);
        QVERIFY(!settings->isVisible());
        QCOMPARE(chosen(), QStringLiteral("ttyFAKE7 38400 38400"));
        child<QAction>(window, "action_serial_set")->trigger();
        auto *apply = child<QPushButton>(settings, "button_apply");
        apply->setFocus();
        QTest::keyClick(apply, Qt::Key_Return);
        QVERIFY(!settings->isVisible());
        QCOMPARE(chosen(), QStringLiteral(" 19200 19200"));
        // The package maker takes the main window's place and hands it back when closed.
        auto *maker = find_top_level<make_package_t>();
        for (int round = 0; round < 2; ++round) {
            child<QAction>(window, "action_package")->trigger();
            QVERIFY(maker->isVisible() && !window->isVisible());
            QVERIFY(maker->close());
            QVERIFY(window->isVisible() && !maker->isVisible());
        }
        QCOMPARE(find_top_level<make_package_t>(), maker);
    }
    void closing_ends_the_program_data()
    {
        QTest::addColumn<bool>("settings_form"); // or the package maker's header form
        QTest::newRow("settings form open") << true;
        QTest::newRow("header form open") << false;
    }
    void closing_ends_the_program()
    {
        QFETCH(bool, settings_form);
        auto *maker = find_top_level<make_package_t>();
        QWidget *form = settings_form ? static_cast<QWidget *>(find_top_level<serial_setting>())
                                      : maker->header_window();
        apply_serial_choice(find_top_level<serial_setting>(), pty->slave_path());
        if (settings_form) {
            action("action_serial_set")->trigger();
        } else {
            action("action_package")->trigger();
            child<QAction>(maker, "action_config_header")->trigger();
            QVERIFY(maker->close());
        }
        action("action_serial_conneect")->trigger();
        QVERIFY(form->isVisible() && window->isVisible() && actions_say_connected(true));
        // The program's own event loop, as main() runs it; it must end when the window closes.
        QTimer::singleShot(0, window, [this] { window->close(); });
        QObject watchdog; // ends with the test
        QTimer::singleShot(3000, &watchdog, [] { QApplication::exit(2); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!form->isVisible());
        QSerialPort other(pty->slave_path()); // closed and unlocked at once
        QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
    }
    void connect_line_data()
    {
        QTest::addColumn<int>("speed"); // 0: no port chosen, or one that does not exist
        QTest::newRow("") << 0;
        QTest::newRow("/dev/ttyDOES_NOT_EXIST") << 0;
        for (const auto &[baud, speed] :
             {std::pair{"9600", B9600}, {"19200", B19200}, {"38400", B38400}, {"115200", B115200}})
            QTest::newRow(baud) << int(speed);
    }
    void connect_line()
    {
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QFETCH(int, speed);
        if (speed == 0) {
            auto *settings = find_top_level<serial_setting>();
            child<QComboBox>(settings, "combobox_port")->setCurrentIndex(-1);
            tag.isEmpty() ? child<QPushButton>(settings, "button_apply")->click()
                          : apply_serial_choice(settings, tag);
            QSerialPort reference(tag);
            QVERIFY(!reference.open(QIODevice::ReadWrite) && !reference.errorString().isEmpty());
            QString status_while_open = QStringLiteral("unset");
            modal_answerer answerer([&](QMessageBox *) { status_while_open = status->text(); });
            status->clear();
            action("action_serial_conneect")->trigger();
            QCOMPARE(answerer.boxes.size(), 1);
            QCOMPARE(answerer.boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(answerer.boxes[0].title + answerer.boxes[0].text,
                     "错误" + (tag.isEmpty()
                                   ? QStringLiteral("未选择串口\r\n请先在串口设置中选择串口")
                                   : reference.errorString()));
            QCOMPARE(status_while_open + status->text(), QStringLiteral("连接失败")); // after box
            QVERIFY(actions_say_connected(false));
            return;
        }
        connect_to_pty(tag);
        QVERIFY(actions_say_connected(true));
        termios line{};
        QCOMPARE(tcgetattr(pty->master(), &line), 0);
        QCOMPARE(int(cfgetispeed(&line)) * 1000 + int(cfgetospeed(&line)), speed * 1001);
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
        status->clear();
        dialog_recorder dialogs; // a second connect changes nothing: still the same open line
        QVERIFY(QMetaObject::invokeMethod(window, "connect_serial_port") &&
                dialogs.boxes.isEmpty());
        action("action_serial_disconneect")->trigger();
        QVERIFY(actions_say_connected(false) && status->text() == QStringLiteral("断开连接"));
        status->clear(); // also when nothing is open
        QVERIFY(QMetaObject::invokeMethod(window, "disconnect_serial_port"));
        QCOMPARE(status->text(), QStringLiteral("断开连接"));
        QSerialPort other(pty->slave_path()); // really closed: someone else can open it
        QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
    }
    void send_data()
    {
        // Check boxes clicked in order ("set": CR LF ticked by code; "enter": sent with Enter),
        // the text, the bytes on the line and in the echo (none: nothing sent), the status after.
        for (const char *column : {"clicks", "text", "echo", "new_status"})
            QTest::addColumn<QString>(column);
        const auto row = [](const char *name, const char *clicks, const char *text,
                            const char *echo, const char *status = "连接到 %1 : 115200") {
            QTest::newRow(name) << QString(clicks) << QString::fromUtf8(text)
                                << QString::fromUtf8(echo) << QString::fromUtf8(status);
        };
        row("text", "", "AT", "41 54");
        row("CR LF", "rn", "AT", "41 54 0D 0A", "加回车换行发送");
        row("CR LF by Enter", "rn enter", "AT", "41 54 0D 0A", "加回车换行发送");
        row("hex stray character by Enter", "hex enter", "12,34", "",
            "Hex格式错误：只能输入十六进制数字、空格和换行，未发送");
        row("CR LF off", "rn rn", "B", "42", "取消回车换行发送");
        row("rn set by code", "set", "C", "43");
        row("CR LF then hex", "rn hex", "41", "41", "Hex发送");
        row("hex off again", "rn hex hex", "41", "34 31", "字符串发送");
        row("non-latin1", "", "a中é", "61 3F E9");
        row("empty text", "", "", " ");
        row("empty hex", "hex", "", " ", "Hex发送");
        row("hex", "hex", "01 0a\n00FF 7f", "01 0A 00 FF 7F", "Hex发送");
        row("hex unpaired last", "hex", "123", "",
            "Hex格式错误：最后一个十六进制数字不成对，未发送");
        row("hex unpaired before blanks", "hex", "ABC ", "",
            "Hex格式错误：最后一个十六进制数字不成对，未发送");
        row("hex blank in pair", "hex", "1 2", "",
            "Hex格式错误：一个字节的两位十六进制数字之间不能有空格或换行，未发送");
        // A send that goes out takes back the refusal of the one before.
        row("hex sent after a refused one", "hex refused", "1234", "12 34", "Hex发送");
        row("not connected", "", "hi", "", "串口未连接，未发送");
    }
    void send()
    {
        QFETCH(QString, clicks);
        QFETCH(QString, text);
        QFETCH(QString, echo);
        QFETCH(QString, new_status);
        const QByteArray bytes = QByteArray::fromHex(echo.toLatin1());
        const bool connected = !new_status.startsWith(QStringLiteral("串口未连接"));
        if (connected)
            connect_to_pty();
        auto *rn = child<QCheckBox>(window, "checkbox_is_rn");
        auto *hex = child<QCheckBox>(window, "checkbox_is_hex");
        const bool by_enter = clicks.endsWith("enter");
        for (const QString &box : clicks.remove("enter").split(' ', Qt::SkipEmptyParts)) {
            if (box == "refused") // an unpaired digit, not sent
                send(QStringLiteral("1"));
            else
                box == "set" ? rn->setChecked(true) : (box == "rn" ? rn : hex)->click();
        }
        QVERIFY(rn->isEnabled() != hex->isChecked() && !(hex->isChecked() && rn->isChecked()));
        send(text, by_enter);
        QCOMPARE(pty->read_master(bytes.size() + 1, 60), bytes);
        QCOMPARE(status->text(), QString(new_status).replace("%1", pty->slave_path()));
        QCOMPARE(line_edit->text(), text);               // the line keeps its text
        const QString shown = ("发: " + echo).trimmed(); // a blank after each byte
        if (echo.isEmpty())
            QTest::qWait(60);
        else
            QTRY_COMPARE(lines(), QStringList(shown + "|#0000ff"));
        QCOMPARE(view->toPlainText(), echo.isEmpty() ? echo : shown + ' ');
    }
    // A session: a busy line, the view past its limit, frames still handed on to the OTA
    // client, bytes read after a box, then the device goes away.
    void session()
    {
        view->findChild<terminal_view *>()->set_limit(1200); // small enough to see every step
        // Not a debug line of ours reaches the log unless QT_LOGGING_RULES asks for it.
        static QStringList logged;
        static QtMessageHandler test_log = nullptr;
        test_log = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                QByteArray(context.category).startsWith("vantrel") ? logged.append(text)
                                                                   : test_log(type, context, text);
            });
        connect_to_pty();
        // The master is not read: the driver's buffer fills up, the line stays open.
        QByteArray sent;
        for (char c = 'a'; c < 'g'; ++c) {
            sent += QByteArray(line_edit->maxLength(), c);
            send(QString::fromLatin1(sent.right(line_edit->maxLength())));
        }
        QTest::qWait(200);
        QCOMPARE(status->text(), QStringLiteral("连接到 %1 : 115200").arg(pty->slave_path()));
        QCOMPARE(pty->read_master(sent.size()), sent); // every byte, in order
        const QString note = QStringLiteral("……（较早的显示内容已移除，共%1行）|#a0a0a4");
        QTRY_VERIFY(lines().first().startsWith(note.left(10)));
        send(QStringLiteral("ab")); // not yet shown when cleared; the note goes too
        action("action_clear")->trigger();
        QTest::qWait(60);
        QVERIFY(view->toPlainText().isEmpty() && line_edit->text() == "ab");

        child<QCheckBox>(window, "checkbox_is_hex")->click();
        QStringList all;
        for (int i = 0; i < 40; ++i) {
            const QString hex =
                QString::asprintf("%02X 00 11 22 33 44 55 66 77 88 99 AA BB CC DD", i);
            send(hex);
            all << "发: " + hex + "|#0000ff";
            if (i % 3 == 0) { // each received chunk is a paragraph of its own, in arrival order
                QVERIFY(pty->write_master(QByteArray(1, char(i)) + "\xff"));
                all << QString::asprintf("收: %02X FF|#ff0000", i);
                QTRY_COMPARE(lines().last(), all.last());
                QVERIFY(view->document()->characterCount() <= 1200);
            }
            if (i == 6) // below the limit the view holds every line, and no note
                QCOMPARE(lines(), all);
        }
        const QStringList shown = lines();
        QVERIFY(shown.size() > 10 && shown.size() < all.size() * 2 / 3);
        const int removed = all.size() + 1 - shown.size();
        QCOMPARE(shown, QStringList(note.arg(removed)) + all.mid(removed));
        QCOMPARE(pty->read_master(2 + 40 * 15).size(), 2 + 40 * 15);

        QTemporaryFile image;
        QVERIFY(image.open() && image.write(QByteArray(20, 'i')) == 20 && image.flush());
        dialog_recorder dialogs;
        dialogs.file_answers << image.fileName();
        main_window_driver driver(window);
        driver.single_press();
        QTRY_COMPARE(dialogs.file_requests.size(), 1);
        driver.double_press();
        QCOMPARE(pty->read_master(13), ota_frame::build_start_frame(20));
        // The start response in two reads, behind a 64 KB burst of noise and a stray tail: slices
        // of 4 bytes.
        const QByteArray start = ota_frame::build_frame(1, QByteArray("\0\0\0\x04", 4));
        QVERIFY(pty->write_master(QByteArray(65536, 'n') + "\x0a\xffTC" + start.left(5)));
        QTRY_VERIFY(lines().last().endsWith(QStringLiteral("0A FF 54 43 51 5A 03 01 00|#ff0000")));
        QVERIFY(pty->write_master(start.mid(5)));
        const auto slice = [](quint32 offset) {
            return ota_frame::build_data_frame(offset, "iiii", 4);
        };
        QCOMPARE(pty->read_master(17), slice(0));
        QCOMPARE(status->text(), QStringLiteral("开始OTA传输"));
        // Clear drops half an acknowledgement: its rest is no frame.
        const QByteArray ack = QByteArray::fromHex("515A0302000101B25443");
        QVERIFY(pty->write_master(ack.left(5)));
        QTRY_COMPARE(lines().last(), QStringLiteral("收: 51 5A 03 02 00|#ff0000"));
        action("action_clear")->trigger();
        QVERIFY(view->toPlainText().isEmpty() && pty->write_master(ack.mid(5)));
        QCOMPARE(pty->read_master(1, 200), QByteArray());
        // Two acknowledgements in one read, behind that rest: both go on without a further
        // byte, also once the view drops its oldest lines again.
        view->findChild<terminal_view *>()->set_limit(100);
        QVERIFY(pty->write_master(ack + ack));
        QCOMPARE(pty->read_master(17 + 17), slice(4) + slice(8));
        // The port closed between two such answers: the second sends nothing and counts
        // nothing, so its slice goes out once the line is back.
        QMetaObject::Connection once;
        once = QObject::connect(driver.progress_bar(), &QProgressBar::valueChanged, window, [&] {
            QObject::disconnect(once);
            action("action_serial_disconneect")->trigger();
        });
        QVERIFY(pty->write_master(ack + ack)); // slice 12 goes, or is dropped with the port
        QTRY_COMPARE(status->text(), QStringLiteral("串口未连接，未发送"));
        connect_to_pty();
        pty->read_available();
        for (const QByteArray &next : {slice(16), ota_frame::build_end_frame()}) {
            QVERIFY(pty->write_master(ack));
            QCOMPARE(pty->read_master(next.size()), next);
        }
        // Bytes that come while the box of a failed end is open are read once it has closed.
        dialogs.while_box_open = [&](const dialog_recorder::box &) {
            pty->write_master("\x01\x02");
            QTest::qWait(100);
        };
        QVERIFY(
            pty->write_master(ota_frame::build_frame(ota_frame::command_end, QByteArray(1, 0))));
        QTRY_COMPARE(lines().last(), QStringLiteral("收: 01 02|#ff0000"));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("结束时下位机返回OTA失败信息"));
        // The count starts again after a clear.
        QVERIFY(lines().first().contains(
            QRegularExpression("^……（较早的显示内容已移除，共[1-9][0-9]?行）")));

        const QString path = pty->slave_path();
        pty->close_master(); // the device goes away
        QTRY_VERIFY(actions_say_connected(false));
        QCOMPARE(status->text(), "连接已丢失：" + path); // as when it was connected
        delete pty; // the port was closed: the user connects again once the device is back
        pty = new pty_pair;
        qInstallMessageHandler(test_log);
        QCOMPARE(logged, QStringList());
        // A deep link to it: the status holds it whole (so does its tooltip) but never widens
        // the window.
        QTemporaryDir deep;
        const QString link = deep.filePath(QString(200, 'd'));
        const int width = window->width();
        QVERIFY(QFile::link(pty->slave_path(), link));
        QVERIFY(main_window_driver(window).connect_to(link));
        QCOMPARE(status->text(), "连接到 " + link + " : 115200");
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), status->mapToGlobal(QPoint(1, 1)));
        QCOMPARE(QApplication::sendEvent(status, &tip) ? QToolTip::text() : "", status->text());
        QApplication::processEvents();
        QVERIFY(window->minimumSizeHint().width() < width && window->width() == width);
    }
};

QTEST_MAIN(tst_serial_line)
#include "tst_serial_line.moc"
