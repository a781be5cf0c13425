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
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

class tst_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void state_after_start();
    void settings_form();
    void package_action_hands_over_and_back();
};

void tst_main_window::state_after_start()
{
    MainWindow window;
    window.show();
    main_window_driver driver(&window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel工具集-v1.1.1"));
    QStringList actions;
    for (QAction *action : child<QToolBar>(&window, "mainToolBar")->actions()) {
        actions << action->objectName() + ' ' + action->text() + ' ' + action->toolTip() +
                       (action->isEnabled() ? "" : " disabled") +
                       (action->icon().isNull() ? " no icon" : "");
    }
    QCOMPARE(actions,
             QStringList({"action_serial_set 串口设置 串口设置",
                          "action_serial_conneect 串口连接 串口连接",
                          "action_serial_disconneect 串口断开 串口断开连接 disabled",
                          "action_clear 清除缓存 清除缓存", "action_package 制作升级包 制作升级包",
                          "action_ota OTA升级 OTA升级"}));
    QProgressBar *progress = driver.progress_bar();
    QVERIFY(!progress->isVisible());
    QCOMPARE(QString("%1-%2 %3")
                 .arg(progress->minimum())
                 .arg(progress->maximum())
                 .arg(progress->value()),
             QStringLiteral("0-100 0"));
    QVERIFY(!child<QCheckBox>(&window, "checkbox_is_hex")->isChecked());
    QVERIFY(!child<QCheckBox>(&window, "checkbox_is_rn")->isChecked());
    QVERIFY(driver.status_label()->text().isEmpty());
    QVERIFY(driver.text_browser()->toPlainText().isEmpty());
    QVERIFY(!find_top_level<serial_setting>()->isVisible());
    QVERIFY(!find_top_level<make_package_t>()->isVisible());
    for (const char *name :
         {"toolkit_2", "settings", "connect", "disconnect", "package", "OTA", "clear", "send",
          "send_down", "flush", "flush_down", "right", "right_down"})
        QVERIFY2(QImage(QStringLiteral(":/images/%1.png").arg(name)).width() >= 64, name);
}

void tst_main_window::settings_form()
{
    MainWindow window;
    window.show();
    serial_setting *settings = find_top_level<serial_setting>();
    // The system's ports, the fourth pre-selected; the four rates, 9600 first.
    const auto system_ports = QSerialPortInfo::availablePorts();
    auto *ports = child<QComboBox>(settings, "combobox_port");
    QCOMPARE(ports->count(), system_ports.size());
    QCOMPARE(settings->get_serial_config().port_name,
             system_ports.size() >= 4 ? system_ports[3].portName() : QString());
    auto *bauds = child<QComboBox>(settings, "combobox_buad");
    QStringList rates;
    for (int i = 0; i < bauds->count(); ++i)
        rates << bauds->itemText(i) + '=' + bauds->itemData(i).toString();
    QCOMPARE(rates, QStringList({"9600=9600", "19200=19200", "38400=38400", "115200=115200"}));
    QCOMPARE(settings->get_serial_config().baud_rate, 9600);

    child<QAction>(&window, "action_serial_set")->trigger();
    QVERIFY(settings->isVisible());
    apply_serial_choice(settings, QStringLiteral("ttyFAKE7"), QStringLiteral("38400"));
    QVERIFY(!settings->isVisible());
    serial_config_t applied = settings->get_serial_config();
    QCOMPARE(applied.port_name + ' ' + applied.baud_rate_text, QStringLiteral("ttyFAKE7 38400"));
    QCOMPARE(applied.baud_rate, 38400);
    // Shown again with the choice; a refresh resets the lists, and closing
    // without apply keeps what was applied.
    child<QAction>(&window, "action_serial_set")->trigger();
    QCOMPARE(ports->currentText() + ' ' + bauds->currentText(), QStringLiteral("ttyFAKE7 38400"));
    bauds->setCurrentIndex(3);
    child<QPushButton>(settings, "button_refresh")->click();
    QCOMPARE(bauds->currentText(), QStringLiteral("9600"));
    QCOMPARE(ports->findText(QStringLiteral("ttyFAKE7")), -1);
    bauds->setCurrentIndex(1);
    settings->close();
    QCOMPARE(settings->get_serial_config().port_name, QStringLiteral("ttyFAKE7"));
    QCOMPARE(settings->get_serial_config().baud_rate, 38400);
}

void tst_main_window::package_action_hands_over_and_back()
{
    MainWindow window;
    window.show();
    auto *maker = find_top_level<make_package_t>();
    for (int round = 0; round < 2; ++round) {
        child<QAction>(&window, "action_package")->trigger();
        QVERIFY(maker->isVisible());
        QVERIFY(!window.isVisible());
        QVERIFY(maker->close());
        QVERIFY(window.isVisible());
        QVERIFY(!maker->isVisible());
    }
    QCOMPARE(find_top_level<make_package_t>(), maker);
}

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
