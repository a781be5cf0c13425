// The main window's start-up state, its tool bar and the hand-over between
// the main window, the settings form and the package maker window.
#include "mainwindow.h"
#include "make_package_t.h"
#include "serial_setting.h"
#include "window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

class tst_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void state_after_start();
    void tool_bar_holds_the_actions_in_order();
    void every_image_is_embedded();
    void settings_action_shows_one_form_that_keeps_its_choice();
    void settings_form_lists_the_system_ports();
    void settings_refresh_resets_the_lists_but_not_the_applied_choice();
    void settings_form_closed_without_apply_keeps_the_choice();
    void package_action_hands_over_and_back();
    void program_ends_only_when_no_window_is_left();
};

namespace {
QLabel *status_label_of(MainWindow &window)
{
    return window.statusBar()->findChild<QLabel *>();
}
} // namespace

void tst_main_window::initTestCase()
{
    Q_INIT_RESOURCE(images);
}

void tst_main_window::state_after_start()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel工具集-v1.1.1"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));

    QVERIFY(child<QAction>(&window, "action_serial_set")->isEnabled());
    QVERIFY(child<QAction>(&window, "action_serial_conneect")->isEnabled());
    QVERIFY(!child<QAction>(&window, "action_serial_disconneect")->isEnabled());
    QVERIFY(child<QAction>(&window, "action_clear")->isEnabled());
    QVERIFY(child<QAction>(&window, "action_package")->isEnabled());
    QVERIFY(child<QAction>(&window, "action_ota")->isEnabled());

    auto *progress = child<QProgressBar>(&window, "ota_progress_bar");
    QVERIFY(!progress->isVisible());
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->value(), 0);

    for (const char *name : {"checkbox_is_hex", "checkbox_is_rn"}) {
        auto *box = child<QCheckBox>(&window, name);
        QVERIFY2(!box->isChecked() && box->isEnabled(), name);
    }
    QCOMPARE(child<QCheckBox>(&window, "checkbox_is_rn")->text(), QStringLiteral("回车换行"));
    QCOMPARE(child<QCheckBox>(&window, "checkbox_is_hex")->text(), QStringLiteral("Hex"));

    QLabel *status = status_label_of(window);
    QVERIFY(status);
    QVERIFY(status->text().isEmpty());
    QVERIFY(child<QTextBrowser>(&window, "text_browser")->toPlainText().isEmpty());

    // Only the main window shows at start.
    QVERIFY(!find_top_level<serial_setting>()->isVisible());
    QVERIFY(!find_top_level<make_package_t>()->isVisible());
}

void tst_main_window::tool_bar_holds_the_actions_in_order()
{
    MainWindow window;
    auto *tool_bar = child<QToolBar>(&window, "mainToolBar");
    QVERIFY(!tool_bar->isMovable());
    QCOMPARE(window.toolBarArea(tool_bar), Qt::TopToolBarArea);

    struct expected_action
    {
        const char *name;
        const char *text;
        const char *tool_tip;
    };
    const expected_action expected[] = {
        {"action_serial_set", "串口设置", "串口设置"},
        {"action_serial_conneect", "串口连接", "串口连接"},
        {"action_serial_disconneect", "串口断开", "串口断开连接"},
        {"action_clear", "清除缓存", "清除缓存"},
        {"action_package", "制作升级包", "制作升级包"},
        {"action_ota", "OTA升级", "OTA升级"},
    };
    const QList<QAction *> actions = tool_bar->actions();
    QCOMPARE(actions.size(), 6);
    for (int i = 0; i < actions.size(); ++i) {
        QCOMPARE(actions[i]->objectName(), QString::fromLatin1(expected[i].name));
        QCOMPARE(actions[i]->text(), QString::fromUtf8(expected[i].text));
        QCOMPARE(actions[i]->toolTip(), QString::fromUtf8(expected[i].tool_tip));
        QVERIFY2(!actions[i]->icon().isNull(), expected[i].name);
    }
}

void tst_main_window::every_image_is_embedded()
{
    const char *names[] = {"toolkit_2",  "settings", "connect",   "disconnect", "package",
                           "OTA",        "clear",    "send",      "send_down",  "flush",
                           "flush_down", "right",    "right_down"};
    for (const char *name : names) {
        const QImage image(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
        QVERIFY2(!image.isNull(), name);
        QVERIFY2(image.width() >= 64 && image.height() >= 64, name);
    }
}

void tst_main_window::settings_action_shows_one_form_that_keeps_its_choice()
{
    MainWindow window;
    window.show();
    auto *settings = find_top_level<serial_setting>();
    QVERIFY(settings);

    child<QAction>(&window, "action_serial_set")->trigger();
    QVERIFY(settings->isVisible());
    QCOMPARE(settings->windowTitle(), QStringLiteral("Vantrel工具集-串口信息配置界面"));
    QVERIFY(!settings->windowIcon().isNull());

    apply_serial_choice(settings, QStringLiteral("ttyFAKE7"), QStringLiteral("38400"));
    QVERIFY(!settings->isVisible());
    const serial_config_t applied = settings->get_serial_config();
    QCOMPARE(applied.port_name, QStringLiteral("ttyFAKE7"));
    QCOMPARE(applied.baud_rate, 38400);
    QCOMPARE(applied.baud_rate_text, QStringLiteral("38400"));

    child<QAction>(&window, "action_serial_set")->trigger();
    QVERIFY(settings->isVisible());
    int forms = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        forms += qobject_cast<serial_setting *>(widget) ? 1 : 0;
    QCOMPARE(forms, 1);
    QCOMPARE(child<QComboBox>(settings, "combobox_port")->currentText(),
             QStringLiteral("ttyFAKE7"));
    QCOMPARE(child<QComboBox>(settings, "combobox_buad")->currentText(), QStringLiteral("38400"));
    settings->close();
}

void tst_main_window::settings_form_lists_the_system_ports()
{
    serial_setting form;
    const auto system_ports = QSerialPortInfo::availablePorts();
    auto *ports = child<QComboBox>(&form, "combobox_port");
    QCOMPARE(ports->count(), system_ports.size());
    for (int i = 0; i < system_ports.size(); ++i)
        QCOMPARE(ports->itemText(i), system_ports[i].portName());
    // The fourth port is pre-selected; with fewer there is no choice at all.
    const int expected_index = system_ports.size() >= 4 ? 3 : -1;
    QCOMPARE(ports->currentIndex(), expected_index);
    QCOMPARE(form.get_serial_config().port_name,
             expected_index < 0 ? QString() : system_ports[3].portName());

    auto *bauds = child<QComboBox>(&form, "combobox_buad");
    QCOMPARE(bauds->count(), 4);
    const int rates[] = {9600, 19200, 38400, 115200};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(bauds->itemText(i), QString::number(rates[i]));
        QCOMPARE(bauds->itemData(i).toInt(), rates[i]);
    }
    QCOMPARE(form.get_serial_config().baud_rate, 9600);
    QCOMPARE(form.get_serial_config().baud_rate_text, QStringLiteral("9600"));
}

void tst_main_window::settings_refresh_resets_the_lists_but_not_the_applied_choice()
{
    serial_setting form;
    apply_serial_choice(&form, QStringLiteral("ttyFAKE1"), QStringLiteral("19200"));

    auto *bauds = child<QComboBox>(&form, "combobox_buad");
    bauds->setCurrentIndex(bauds->findText(QStringLiteral("115200")));
    child<QPushButton>(&form, "button_refresh")->click();

    QCOMPARE(bauds->currentText(), QStringLiteral("9600"));
    QCOMPARE(child<QComboBox>(&form, "combobox_port")->findText(QStringLiteral("ttyFAKE1")), -1);
    QCOMPARE(form.get_serial_config().port_name, QStringLiteral("ttyFAKE1"));
    QCOMPARE(form.get_serial_config().baud_rate, 19200);
}

void tst_main_window::settings_form_closed_without_apply_keeps_the_choice()
{
    serial_setting form;
    form.show();
    const serial_config_t before = form.get_serial_config();
    auto *bauds = child<QComboBox>(&form, "combobox_buad");
    bauds->setCurrentIndex(3);
    child<QComboBox>(&form, "combobox_port")->addItem(QStringLiteral("ttyFAKE2"));
    form.close();

    QVERIFY(!form.isVisible());
    QCOMPARE(form.get_serial_config().port_name, before.port_name);
    QCOMPARE(form.get_serial_config().baud_rate, before.baud_rate);
    QCOMPARE(form.get_serial_config().baud_rate_text, before.baud_rate_text);
}

void tst_main_window::package_action_hands_over_and_back()
{
    MainWindow window;
    window.show();
    auto *maker = find_top_level<make_package_t>();
    QVERIFY(maker);

    child<QAction>(&window, "action_package")->trigger();
    QVERIFY(maker->isVisible());
    QVERIFY(!window.isVisible());
    QCOMPARE(maker->windowTitle(), QStringLiteral("Vantrel工具集-升级包制作界面"));

    QVERIFY(maker->close());
    QVERIFY(window.isVisible());
    QVERIFY(!maker->isVisible());

    // The same window comes back the next time.
    child<QAction>(&window, "action_package")->trigger();
    QCOMPARE(find_top_level<make_package_t>(), maker);
    QVERIFY(maker->isVisible());
    maker->close();
}

void tst_main_window::program_ends_only_when_no_window_is_left()
{
    QVERIFY(qApp->quitOnLastWindowClosed());
    MainWindow window;
    window.show();
    child<QAction>(&window, "action_serial_set")->trigger();
    auto *settings = find_top_level<serial_setting>();
    QVERIFY(settings->isVisible());

    // The toolkit decides on quitting only inside the running event loop.
    bool running_after_main_window_closed = false;
    QTimer::singleShot(0, &window, [&window] { window.close(); });
    QTimer::singleShot(100, settings, [&] {
        running_after_main_window_closed = true;
        settings->close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    watchdog.stop();
    QVERIFY(running_after_main_window_closed);
}

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
