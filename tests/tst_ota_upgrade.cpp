// Upgrades through the real main window: the test plays the device frame by
// frame on a pseudo-terminal, or the simulated device runs as a separate
// process on the other end of a pseudo-terminal cable.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "mainwindow.h"
#include "ota_frame.h"
#include "package_files.h"
#include "package_format.h"
#include "pty_link.h"
#include "pty_pair.h"
#include "window_driver.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString choose_a_file = QStringLiteral("请选择一个文件");
const QString while_running = QStringLiteral("OTA过程中进行了文件选择操作\r\n请重新开始OTA");
const QString cancelled = QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA");
const QString zero_size = QStringLiteral("下位机返回的每帧固件大小不能为0");
const QString refused = QStringLiteral("下位机返回OTA失败信息");
const QString early_end = QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成");
const QString second_start = QStringLiteral("接受到错误的升级提醒错误信息");
const QByteArray ok(1, 0x01);

} // namespace

class tst_ota_upgrade : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<pty_pair> line;
    std::unique_ptr<dialog_recorder> recorder;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<main_window_driver> driver;
    QByteArray pending;

    QString write_file(const QByteArray &content, const QString &name = "image.bin")
    {
        return package_files::write(dir.filePath(name), content) ? dir.filePath(name) : QString();
    }
    void choose(const QString &path)
    {
        const int requests = recorder->file_requests.size();
        recorder->file_answers << path;
        driver->single_press();
        QVERIFY(wait_for([&] { return recorder->file_requests.size() == requests + 1; }));
        QCOMPARE(recorder->file_requests.last().caption, QStringLiteral("Open File"));
        QCOMPARE(recorder->file_requests.last().dir, QDir::currentPath());
    }
    // The next frame the tool wrote, cut by its length field.
    QByteArray next_frame()
    {
        QByteArray frame;
        while ((frame = ota_frame::take_frame_by_length(pending)).isEmpty()) {
            const QByteArray more = line->read_master(1);
            if (more.isEmpty())
                break;
            pending.append(more);
        }
        return frame;
    }
    bool nothing_sent(int ms = 60)
    {
        wait_for([] { return false; }, ms);
        pending.append(line->read_available());
        return pending.isEmpty();
    }
    void answer(quint8 command, const QByteArray &data)
    {
        QVERIFY(line->write_master(ota_frame::build_frame(command, data)));
    }
    int run_device(const QStringList &arguments)
    {
        QProcess device;
        device.start(QStringLiteral(OTA_DEVICE_SIM_PATH), arguments);
        if (!device.waitForStarted() || !device.waitForReadyRead(10000) ||
            !device.readLine().startsWith("ready"))
            return -1;
        driver->status_label()->clear();
        driver->double_press();
        // The window must go on answering while the device works.
        wait_for([&] { return device.state() == QProcess::NotRunning; }, 60000);
        return device.state() == QProcess::NotRunning ? device.exitCode() : -1;
    }
    QStringList box_texts() const
    {
        QStringList texts;
        for (const dialog_recorder::box &box : qAsConst(recorder->boxes))
            texts << box.text;
        return texts;
    }
private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
        QVERIFY(dir.isValid());
    }
    void init()
    {
        line = std::make_unique<pty_pair>();
        recorder = std::make_unique<dialog_recorder>();
        window = std::make_unique<MainWindow>();
        driver = std::make_unique<main_window_driver>(window.get());
        QVERIFY(driver->connect_to(line->slave_path()));
        pending.clear();
    }
    void cleanup() { driver.reset(), window.reset(), recorder.reset(), line.reset(); }
    void upgrade_end_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("status"); // %1: the port, %2: the image

        const auto frame = ota_frame::build_frame;
        QTest::newRow("refused") << "" << refused
                                 << frame(ota_frame::command_data, QByteArray(1, 0))
                                 << "OTA失败：" + refused;
        QTest::newRow("early end") << "" << early_end << frame(ota_frame::command_end, ok)
                                   << "OTA失败：收到下位机传输结束OTA结束信息，OTA未完成";
        QTest::newRow("second start")
            << "" << second_start << frame(ota_frame::command_start, big_endian::u32(9))
            << "OTA失败：" + second_start;
        QTest::newRow("cancelled") << "cancel" << cancelled << QByteArray() << "OTA已取消";
        QTest::newRow("file chosen")
            << "choose" << while_running << QByteArray() << "OTA已中止：OTA过程中选择了文件 %2";
        QTest::newRow("port lost")
            << "lose" << QString() << QByteArray() << "连接已丢失：%1，OTA已中断：已发送1/4帧";
    }
    void upgrade_end()
    {
        QFETCH(QString, how);
        QFETCH(QString, box);
        QFETCH(QByteArray, answer);
        QFETCH(QString, status);
        const QByteArray image = package_files::random(1000, 1);
        status.replace("%1", line->slave_path()).replace("%2", dir.filePath("image.bin"));
        choose(write_file(image));
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
        this->answer(ota_frame::command_start, big_endian::u32(256));
        QCOMPARE(ota_frame::ba_to_u32(next_frame().mid(6, 4)), 0u);
        // The device acknowledges the frame in flight while the box is open.
        recorder->while_box_open = [&](const dialog_recorder::box &) {
            this->answer(ota_frame::command_data, ok);
            wait_for([] { return false; }, 100);
        };
        if (how == "cancel")
            driver->double_press();
        else if (how == "choose")
            choose(write_file(image));
        else if (how == "lose")
            line->close_master();
        else
            QVERIFY(line->write_master(answer));
        // How it ended, and no bar that looks as if it went on.
        QVERIFY(wait_for([&] { return driver->status_label()->text() == status; }));
        QVERIFY(driver->progress_bar()->isHidden());
        if (box.isEmpty()) {
            line = std::make_unique<pty_pair>();
            QVERIFY(driver->connect_to(line->slave_path()));
        }
        QVERIFY(wait_for(
            [&] { return box_texts() == (box.isEmpty() ? QStringList() : QStringList{box}); }));
        recorder->while_box_open = nullptr;
        // The upgrade is over: late answers send nothing and show nothing.
        QVERIFY(nothing_sent());
        for (const char status : {'\x01', '\x00'}) // neither a late go-ahead nor a late refusal
            for (quint8 command : {ota_frame::command_data, ota_frame::command_end})
                this->answer(command, QByteArray(1, status));
        this->answer(ota_frame::command_start, big_endian::u32(256)); // no start request waits for it
        QVERIFY(nothing_sent(100));
        QCOMPARE(recorder->boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(driver->status_label()->text(), status);
        QVERIFY(driver->progress_bar()->isHidden());
        // A new double press starts a new upgrade from offset 0.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
        this->answer(ota_frame::command_start, big_endian::u32(512));
        QCOMPARE(next_frame(), ota_frame::build_data_frame(0, image.constData(), 512));
    }
    void answers_out_of_turn()
    {
        // A double press before any file: a hint. One press: the file dialog comes after the
        // pause for a second press; cancelled, an error.
        driver->double_press();
        driver->single_press();
        QVERIFY(!wait_for([&] { return !recorder->file_requests.isEmpty(); }, 50));
        QVERIFY(wait_for([&] { return recorder->file_requests.size() == 1; }, 3000));
        QCOMPARE(recorder->boxes.value(0).title + recorder->boxes.value(1).title,
                 QStringLiteral("提示信息错误信息"));
        QCOMPARE(box_texts(), QStringList({choose_a_file, choose_a_file}));
        recorder->boxes.clear();
        // Before any file: nothing to slice, nothing marked running.
        answer(ota_frame::command_start, big_endian::u32(256));
        answer(ota_frame::command_data, ok);
        answer(ota_frame::command_end, ok);
        QVERIFY(nothing_sent(100));
        // An image, but no start request sent for it.
        choose(write_file(package_files::random(1000, 1)));
        answer(ota_frame::command_start, big_endian::u32(256));
        QVERIFY(nothing_sent());
        // A start request with the port closed is not sent and not counted.
        driver->action("action_serial_disconneect")->trigger();
        driver->double_press();
        QCOMPARE(driver->status_label()->text(), QStringLiteral("串口未连接，未发送"));
        QVERIFY(driver->connect_to(line->slave_path()));
        answer(ota_frame::command_start, big_endian::u32(256));
        QVERIFY(nothing_sent());
        // The start request went out for an image replaced since.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
        const QByteArray second = package_files::random(5000, 2);
        choose(write_file(second, "b.bin"));
        answer(ota_frame::command_start, big_endian::u32(256));
        QVERIFY(nothing_sent());
        QVERIFY(recorder->boxes.isEmpty());
        // While the dialog is open the old image is gone; cancelled, no image.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(5000));
        answer(ota_frame::command_start, big_endian::u32(256));
        QCOMPARE(next_frame(), ota_frame::build_data_frame(0, second.constData(), 256));
        bool sent_during_dialog = true;
        recorder->while_file_dialog_open = [&] {
            answer(ota_frame::command_data, ok);
            sent_during_dialog = !nothing_sent(100);
        };
        choose(QString());
        QVERIFY(!sent_during_dialog);
        driver->double_press();
        QCOMPARE(box_texts(), QStringList({while_running, choose_a_file}));
        QVERIFY(nothing_sent());
    }
    void unloadable_file_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text_start");
        QTest::newRow("missing") << qint64(-1) << QStringLiteral("文件打开失败\r\n");
        // Sparse files: nothing of them is read.
        QTest::newRow("beyond 32 bits")
            << (qint64(1) << 32) + 5 << "文件过大：4294967301字节\r\nOTA起始帧";
        QTest::newRow("beyond memory")
            << (qint64(3) << 30) << "文件过大：3221225472字节\r\n超过2GB";
    }
    void unloadable_file()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text_start);
        QFile file(dir.filePath(QStringLiteral("big.bin")));
        if (size >= 0 && (!file.open(QIODevice::WriteOnly) || !file.resize(size)))
            QSKIP("no sparse files here");
        // A good image first, so that the failed choice visibly discards it.
        choose(write_file(package_files::random(10, 1)));
        choose(file.fileName());
        file.remove();
        QCOMPARE(recorder->boxes.value(0).title, QStringLiteral("错误信息"));
        QVERIFY(recorder->boxes.value(0).text.startsWith(text_start));
        QVERIFY(recorder->boxes.value(0).text.size() > text_start.size());
        driver->double_press();
        QCOMPARE(recorder->boxes.last().text, choose_a_file);
        QVERIFY(nothing_sent());
    }
    void with_device_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QStringList>("boxes");
        // Progress values from the start response on; empty: only rising to 100.
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<int>("device_status");

        const QByteArray image = package_files::random(1000, 7);
        const QList<int> clean{0, 50, 75, 100}, one{0, 100}, first{0, 50};
        auto row = [&](const char *name, const QStringList &fault, const QStringList &boxes = {},
                       const QList<int> &progress = {0, 50, 75, 100}, int status = 0,
                       const QByteArray &bytes = QByteArray()) {
            QTest::newRow(name) << (bytes.isNull() ? image : bytes) << fault << boxes << progress
                                << status;
        };
        row("empty image", {}, {}, one, 0, QByteArray(""));
        row("1000 bytes by 256", {});
        row("1024 bytes by 256", {}, {}, clean, 0, package_files::random(1024, 3));
        row("frame beyond the limit, small image", {"--frame-size", "70000"}, {}, one);
        row("largest slice", {"--frame-size", "65531"}, {}, one, 0,
            package_files::random(100000, 4));
        for (const char *size : {"65532", "70000"})
            row(size, {"--frame-size", size, "--idle-timeout", "300"},
                {QStringLiteral("下位机返回的每帧固件大小%1超过65531字节").arg(size), cancelled},
                {}, 3, package_files::random(100000, 4));
        row("markers throughout", {}, {}, {0, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 0,
            QByteArray("QZTCTCQZ").repeated(300));
        row("1 MiB by 1024", {"--frame-size", "1024"}, {}, {}, 0,
            package_files::random(1 << 20, 5));
        row("refused frame 2", {"--refuse-frame", "2"}, {refused}, first, 1);
        row("end answered early", {"--end-early", "2"}, {early_end}, first, 1);
        row("end answered with failure, 3 slices", {"--end-failure"},
            {"结束时下位机返回OTA失败信息"}, {0, 66, 100}, 1, package_files::random(700, 6));
        row("frame size 0", {"--frame-size", "0"}, {zero_size, cancelled}, {}, 1);
        for (const char *count : {"0", "3"}) // the checksum and tail are no frame size
            row(count, {"--start-bytes", count}, {"ba_to_u32执行错误", zero_size, cancelled}, {},
                1);
        row("start response with extra bytes", {"--start-bytes", "7"});
        row("second start response", {"--second-start", "3"}, {second_start}, {0, 50, 75}, 1);
        row("silent after frame 2", {"--silent-after", "2", "--idle-timeout", "300"}, {cancelled},
            first, 3);
        for (const char *fault : {"--bad-checksum", "--wrong-type", "--wrong-command"})
            row(fault, {fault, "2"});
        for (const char *fault : {"--noise", "--byte-at-a-time"})
            row(fault, {fault});
        row("paced", {"--pace", "115200"});
        row("received image not written", {"--output", "/nonexistent/rx.bin"}, {}, clean, 5);
    }
    void with_device()
    {
        QFETCH(QByteArray, image);
        QFETCH(QStringList, fault);
        QFETCH(QStringList, boxes);
        QFETCH(QList<int>, progress);
        QFETCH(int, device_status);
        pty_link link;
        driver->action("action_serial_disconneect")->trigger();
        QVERIFY(driver->connect_to(link.first_path()));
        const QString received_path = dir.filePath(QStringLiteral("received.bin"));
        const QStringList device{"--port",      link.second_path(), "--output",
                                 received_path, "--frame-size",     "256"};
        const QString path = write_file(image);
        choose(path);
        QCOMPARE(driver->status_label()->text(), QStringLiteral("选择OTA升级文件:") + path);
        driver->progress_bar()->reset();
        QSignalSpy progress_spy(driver->progress_bar(), &QProgressBar::valueChanged);
        QCOMPARE(run_device(device + fault), device_status);
        auto succeeded = [&] {
            QFile received(received_path);
            return wait_for([&] { return driver->status_label()->text() == "OTA成功"; }) &&
                   driver->progress_bar()->isHidden() && received.open(QIODevice::ReadOnly) &&
                   received.readAll() == image;
        };
        if (device_status == 0)
            QVERIFY(succeeded());
        QList<int> seen;
        for (const QList<QVariant> &arguments : progress_spy)
            if (arguments.at(0).toInt() >= 0)
                seen << arguments.at(0).toInt();
        if (boxes.contains(cancelled)) // still marked running: a double press cancels
            driver->double_press();
        QCOMPARE(box_texts(), boxes);
        if (!progress.isEmpty() || seen.isEmpty())
            QCOMPARE(seen, progress);
        else
            QVERIFY(seen.first() == 0 && seen.last() == 100 &&
                    std::is_sorted(seen.begin(), seen.end()));
        // Every ending leaves the image to upgrade again without a new choice.
        if (image.size() <= 4096) {
            recorder->boxes.clear();
            QFile::remove(received_path);
            QCOMPARE(run_device(device), 0);
            QVERIFY(succeeded());
            QVERIFY(recorder->boxes.isEmpty());
        }
    }
};

QTEST_MAIN(tst_ota_upgrade)
#include "tst_ota_upgrade.moc"
