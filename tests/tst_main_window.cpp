// The main window's start-up state, its tool bar and the hand-over between the main window, the
// settings form and the package maker window.
#include "make_package_t.h"
#include "window_driver.h"
#include <QSerialPortInfo>
#include <QtTest>

class tst_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void state_after_start();
    void settings_form_and_package_maker();
};

void tst_main_window::state_after_start()
{
    MainWindow window;
    window.show();
    main_window_driver driver(&window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel工具集-v1.1.1"));
    QStringList actions;
    for (QAction *action : child<QToolBar>(&window, "mainToolBar")->actions())
        actions << action->objectName() + ' ' + action->text() + ' ' + action->toolTip() +
                       (action->isEnabled() ? "" : " disabled") +
                       (action->icon().isNull() ? " no icon" : "");
    QCOMPARE(actions,
             QStringList({"action_serial_set 串口设置 串口设置",
                          "action_serial_conneect 串口连接 串口连接",
                          "action_serial_disconneect 串口断开 串口断开连接 disabled",
                          "action_clear 清除缓存 清除缓存", "action_package 制作升级包 制作升级包",
                          "action_ota OTA升级 OTA升级"}));
    // Progress bar, hex and line-end boxes, settings form and package maker: all hidden or off.
    QProgressBar *bar = driver.progress_bar();
    QCOMPARE(QString::asprintf("%d %d-%d %d, %d %d, %d %d", bar->isVisible(), bar->minimum(),
                               bar->maximum(), bar->value(),
                               child<QCheckBox>(&window, "checkbox_is_hex")->isChecked(),
                               child<QCheckBox>(&window, "checkbox_is_rn")->isChecked(),
                               find_top_level<serial_setting>()->isVisible(),
                               find_top_level<make_package_t>()->isVisible()),
             QStringLiteral("0 0-100 0, 0 0, 0 0"));
    QCOMPARE(driver.status_label()->text() + driver.text_browser()->toPlainText(), QString());
    for (const char *name :
         {"toolkit_2", "settings", "connect", "disconnect", "package", "OTA", "clear", "send",
          "send_down", "flush", "flush_down", "right", "right_down"})
        QVERIFY2(QImage(QStringLiteral(":/images/%1.png").arg(name)).width() >= 64, name);
}

void tst_main_window::settings_form_and_package_maker()
{
    MainWindow window;
    window.show();
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
    QCOMPARE(chosen(),
             (system_ports.size() >= 4 ? system_ports[3].portName() : QString()) + " 9600 9600");
    child<QAction>(&window, "action_serial_set")->trigger();
    QVERIFY(settings->isVisible());
    apply_serial_choice(settings, QStringLiteral("ttyFAKE7"), QStringLiteral("38400"));
    QVERIFY(!settings->isVisible());
    QCOMPARE(chosen(), QStringLiteral("ttyFAKE7 38400 38400"));
    // Shown again with the choice; a refresh resets the lists, and closing without apply keeps
    // what was applied.
    child<QAction>(&window, "action_serial_set")->trigger();
    QCOMPARE(ports->currentText() + ' ' + bauds->currentText(), QStringLiteral("ttyFAKE7 38400"));
    bauds->setCurrentIndex(3);
    child<QPushButton>(settings, "button_refresh")->click();
    QCOMPARE(bauds->currentText(), QStringLiteral("9600"));
    QCOMPARE(ports->findText(QStringLiteral("ttyFAKE7")), -1);
    bauds->setCurrentIndex(1);
    settings->close();
    QCOMPARE(chosen(), QStringLiteral("ttyFAKE7 38400 38400"));
    // The package maker takes the main window's place and hands it back when closed.
    auto *maker = find_top_level<make_package_t>();
    for (int round = 0; round < 2; ++round) {
        child<QAction>(&window, "action_package")->trigger();
        QVERIFY(maker->isVisible() && !window.isVisible());
        QVERIFY(maker->close());
        QVERIFY(window.isVisible() && !maker->isVisible());
    }
    QCOMPARE(find_top_level<make_package_t>(), maker);
}

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
