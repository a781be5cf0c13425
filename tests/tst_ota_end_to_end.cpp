// Whole upgrades: the real main window on one end of a pseudo-terminal
// cable, the simulated device as a separate process on the other.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "main_window_driver.h"
#include "mainwindow.h"
#include "pty_link.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifndef OTA_DEVICE_SIM_PATH
#error "OTA_DEVICE_SIM_PATH must name the simulated device program"
#endif

namespace {

const QString success_text = QStringLiteral("OTA成功");
const QString transfer_text = QStringLiteral("开始OTA传输");
const QString cancelled_text = QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA");
const int upgrade_timeout_ms = 60000;

QByteArray patterned_bytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    quint32 state = seed;
    for (int i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = char(state >> 16);
    }
    return bytes;
}

} // namespace

class tst_ota_end_to_end : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void upgrade_transfers_image_exactly_data();
    void upgrade_transfers_image_exactly();
    void device_fault_ends_in_its_state_data();
    void device_fault_ends_in_its_state();

private:
    QString write_image(const QString &name, const QByteArray &content);
    void start_device(const QStringList &extra);
    int finish_device();
    void choose_file(const QString &path);
    void run_clean_upgrade(const QByteArray &image, int frame_size);

    QTemporaryDir dir;
    std::unique_ptr<pty_link> link;
    std::unique_ptr<dialog_recorder> recorder;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<main_window_driver> driver;
    std::unique_ptr<QProcess> device;
    QString received_path;
};

void tst_ota_end_to_end::initTestCase()
{
    Q_INIT_RESOURCE(images);
    // A line per frame would only slow the megabyte transfer down.
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    QVERIFY(dir.isValid());
    link = std::make_unique<pty_link>();
    QVERIFY(link->is_valid());
    recorder = std::make_unique<dialog_recorder>();
    window = std::make_unique<MainWindow>();
    window->show();
    driver = std::make_unique<main_window_driver>(window.get());
    QVERIFY(driver->connect_to(link->first_path()));
    received_path = dir.filePath(QStringLiteral("received.bin"));
}

void tst_ota_end_to_end::cleanupTestCase()
{
    if (device && device->state() != QProcess::NotRunning) {
        device->kill();
        device->waitForFinished();
    }
    window.reset();
}

void tst_ota_end_to_end::init()
{
    recorder->boxes.clear();
    recorder->file_requests.clear();
    QFile::remove(received_path);
}

QString tst_ota_end_to_end::write_image(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void tst_ota_end_to_end::start_device(const QStringList &extra)
{
    device = std::make_unique<QProcess>();
    device->setProcessChannelMode(QProcess::SeparateChannels);
    QStringList arguments{QStringLiteral("--port"), link->second_path(), QStringLiteral("--output"),
                          received_path};
    device->start(QStringLiteral(OTA_DEVICE_SIM_PATH), arguments + extra);
    QVERIFY2(device->waitForStarted(), qPrintable(device->errorString()));
    QVERIFY(wait_for(
        [&] { return device->canReadLine() || device->state() == QProcess::NotRunning; }, 10000));
    const QByteArray first_line = device->readLine();
    QVERIFY2(first_line.startsWith("ready"), first_line.constData());
}

int tst_ota_end_to_end::finish_device()
{
    // The window must go on answering while the device works.
    if (!wait_for([&] { return device->state() == QProcess::NotRunning; }, 20000)) {
        device->kill();
        device->waitForFinished();
        qWarning() << "device did not exit:" << device->readAllStandardOutput();
        return -1;
    }
    return device->exitCode();
}

void tst_ota_end_to_end::choose_file(const QString &path)
{
    const int requests = recorder->file_requests.size();
    recorder->file_answers << path;
    driver->single_press();
    QVERIFY(wait_for([&] { return recorder->file_requests.size() == requests + 1; }));
    const dialog_recorder::file_request &request = recorder->file_requests.last();
    QCOMPARE(request.caption, QStringLiteral("Open File"));
    QCOMPARE(request.dir, QDir::currentPath());
    QVERIFY(request.filter.isEmpty());
    QCOMPARE(driver->status_label()->text(), QStringLiteral("选择OTA升级文件:") + path);
}

void tst_ota_end_to_end::run_clean_upgrade(const QByteArray &image, int frame_size)
{
    start_device({QStringLiteral("--frame-size"), QString::number(frame_size)});
    driver->status_label()->clear();
    driver->double_press();
    QVERIFY(wait_for([&] { return driver->status_label()->text() == success_text; },
                     upgrade_timeout_ms));
    QCOMPARE(finish_device(), 0);
    QFile received(received_path);
    QVERIFY(received.open(QIODevice::ReadOnly));
    QVERIFY(received.readAll() == image);
    QVERIFY(driver->progress_bar()->isHidden());
}

void tst_ota_end_to_end::upgrade_transfers_image_exactly_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("frame_size");
    // Progress values after the start response and each acknowledgement.
    QTest::addColumn<QList<int>>("progress");

    QTest::newRow("empty image") << QByteArray() << 256 << QList<int>{0, 100};
    QTest::newRow("one byte") << patterned_bytes(1, 1) << 256 << QList<int>{0, 100};
    QTest::newRow("1000 bytes by 256")
        << patterned_bytes(1000, 2) << 256 << QList<int>{0, 50, 75, 100};
    QTest::newRow("1024 bytes by 256")
        << patterned_bytes(1024, 3) << 256 << QList<int>{0, 50, 75, 100};
    QTest::newRow("frame larger than image")
        << patterned_bytes(700, 4) << 4096 << QList<int>{0, 100};
    QTest::newRow("markers throughout") << QByteArray("QZTCTCQZ").repeated(300) << 256
                                        << QList<int>{0, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    QTest::newRow("1 MiB by 1024") << patterned_bytes(1 << 20, 5) << 1024 << QList<int>();
}

void tst_ota_end_to_end::upgrade_transfers_image_exactly()
{
    QFETCH(QByteArray, image);
    QFETCH(int, frame_size);
    QFETCH(QList<int>, progress);

    const QString path = write_image(QStringLiteral("image.bin"), image);
    QVERIFY(!path.isEmpty());
    choose_file(path);
    QVERIFY(recorder->boxes.isEmpty());

    driver->progress_bar()->reset();
    QSignalSpy progress_spy(driver->progress_bar(), &QProgressBar::valueChanged);
    run_clean_upgrade(image, frame_size);
    QVERIFY(recorder->boxes.isEmpty());

    QList<int> seen;
    for (const QList<QVariant> &arguments : progress_spy)
        seen << arguments.at(0).toInt();
    if (progress.isEmpty()) {
        // 1024 frames: rising from 0 to 100 once the last one is sent.
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.first(), 0);
        QCOMPARE(seen.last(), 100);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    } else {
        QCOMPARE(seen, progress);
    }

    // The same image upgrades again without a new file choice.
    if (image.size() == 1000) {
        QFile::remove(received_path);
        run_clean_upgrade(image, frame_size);
    }
}

void tst_ota_end_to_end::device_fault_ends_in_its_state_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("left_running");
    QTest::addColumn<int>("device_status");

    const QStringList none;
    QTest::newRow("refused frame 2")
        << QStringList{"--refuse-frame", "2"} << QStringList{"下位机返回OTA失败信息"} << false << 1;
    QTest::newRow("end answered early")
        << QStringList{"--end-early", "2"}
        << QStringList{"收到下位机传输结束OTA结束信息\r\nOTA未完成"} << false << 1;
    QTest::newRow("end answered with failure")
        << QStringList{"--end-failure"} << QStringList{"结束时下位机返回OTA失败信息"} << false << 1;
    QTest::newRow("frame size 0") << QStringList{"--frame-size", "0"}
                                  << QStringList{"下位机返回的每帧固件大小不能为0"} << true << 1;
    QTest::newRow("start response without data")
        << QStringList{"--short-start"}
        << QStringList{"ba_to_u32执行错误", "下位机返回的每帧固件大小不能为0"} << true << 1;
    QTest::newRow("second start response")
        << QStringList{"--second-start", "3"} << QStringList{"接受到错误的升级提醒错误信息"}
        << false << 1;
    QTest::newRow("silent after frame 2")
        << QStringList{"--silent-after", "2", "--idle-timeout", "300"} << none << true << 3;
    QTest::newRow("bad checksum") << QStringList{"--bad-checksum", "2"} << none << false << 0;
    QTest::newRow("wrong type") << QStringList{"--wrong-type", "1"} << none << false << 0;
    QTest::newRow("wrong command") << QStringList{"--wrong-command", "4"} << none << false << 0;
    QTest::newRow("noise") << QStringList{"--noise"} << none << false << 0;
    QTest::newRow("byte at a time") << QStringList{"--byte-at-a-time"} << none << false << 0;
    QTest::newRow("paced at 115200") << QStringList{"--pace", "115200"} << none << false << 0;
}

void tst_ota_end_to_end::device_fault_ends_in_its_state()
{
    QFETCH(QStringList, fault);
    QFETCH(QStringList, boxes);
    QFETCH(bool, left_running);
    QFETCH(int, device_status);

    const QByteArray image = patterned_bytes(1000, 7);
    const QString path = write_image(QStringLiteral("fault.bin"), image);
    choose_file(path);

    start_device(QStringList{"--frame-size", "256"} + fault);
    driver->status_label()->clear();
    driver->double_press();
    QCOMPARE(finish_device(), device_status);
    const QByteArray device_log = device->readAllStandardOutput();

    if (device_status == 0) {
        QVERIFY(wait_for([&] { return driver->status_label()->text() == success_text; }));
        QFile received(received_path);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QVERIFY(received.readAll() == image);
        QCOMPARE(recorder->boxes.size(), 0);
        return;
    }

    // Nothing more follows once the device has gone.
    wait_for([] { return false; }, 100);
    QCOMPARE(recorder->boxes.size(), boxes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        QCOMPARE(recorder->boxes.at(i).title, QStringLiteral("提示信息"));
        QCOMPARE(recorder->boxes.at(i).text, boxes.at(i));
    }
    QVERIFY2(driver->status_label()->text() != success_text, device_log.constData());

    // A running upgrade takes the next double press as a cancel.
    recorder->boxes.clear();
    if (left_running) {
        driver->double_press();
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.first().text, cancelled_text);
        recorder->boxes.clear();
    }

    QFile::remove(received_path);
    run_clean_upgrade(image, 256);
    QVERIFY(recorder->boxes.isEmpty());
}

QTEST_MAIN(tst_ota_end_to_end)
#include "tst_ota_end_to_end.moc"
