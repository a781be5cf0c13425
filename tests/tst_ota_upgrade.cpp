// Upgrades through the real main window: the test plays the device frame by
// frame on a pseudo-terminal, or the simulated device runs as a separate
// process on the other end of a pseudo-terminal cable.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "ota_frame.h"
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
const QString success = QStringLiteral("OTA成功");
const QByteArray ok(1, 0x01);

QByteArray u32(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray patterned(int size, quint32 seed = 1)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = char(seed >> 16);
    }
    return bytes;
}

// Runs code inside the file dialog, as the real dialog's event loop would.
struct hooked_recorder : dialog_recorder
{
    std::function<void()> while_dialog_open;
    QString open_file_name(QWidget *parent, const QString &caption, const QString &dir,
                           const QString &filter) override
    {
        if (while_dialog_open)
            while_dialog_open();
        return dialog_recorder::open_file_name(parent, caption, dir, filter);
    }
};

} // namespace

class tst_ota_upgrade : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<pty_pair> line;
    std::unique_ptr<hooked_recorder> recorder;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<main_window_driver> driver;
    QByteArray pending;

    QString write_file(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
                   ? file.fileName()
                   : QString();
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
        for (;;) {
            const QByteArray frame = ota_frame::take_frame_by_length(pending);
            if (!frame.isEmpty())
                return frame;
            const QByteArray more = line->read_master(1);
            if (more.isEmpty())
                return QByteArray();
            pending.append(more);
        }
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

    void request_start(const QByteArray &image)
    {
        choose(write_file(QStringLiteral("image.bin"), image));
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(quint32(image.size())));
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
        if (!wait_for([&] { return device.state() == QProcess::NotRunning; }, 60000))
            return -1;
        return device.exitCode();
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
        recorder = std::make_unique<hooked_recorder>();
        window = std::make_unique<MainWindow>();
        driver = std::make_unique<main_window_driver>(window.get());
        QVERIFY(driver->connect_to(line->slave_path()));
        pending.clear();
    }

    void cleanup()
    {
        driver.reset();
        window.reset();
        recorder.reset();
        line.reset();
    }

    void presses()
    {
        // Two presses within 200 ticks: no file choice, the double press runs.
        driver->double_press();
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.first().title, QStringLiteral("提示信息"));
        QCOMPARE(recorder->boxes.first().text, choose_a_file);
        // One press: the file choice comes after the pause, not at once.
        driver->single_press();
        wait_for([] { return false; }, 50);
        QVERIFY(recorder->file_requests.isEmpty());
        QVERIFY(wait_for([&] { return recorder->file_requests.size() == 1; }, 3000));
        QCOMPARE(recorder->boxes.last().title, QStringLiteral("错误信息"));
        QCOMPARE(recorder->boxes.last().text, choose_a_file);
        QVERIFY(nothing_sent(300));
        QCOMPARE(recorder->file_requests.size(), 1);
    }

    void start_response_data()
    {
        QTest::addColumn<int>("image_size");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("first_slice");

        const QStringList short_data{QStringLiteral("ba_to_u32执行错误"), zero_size};
        QTest::newRow("frame size 256") << 1000 << u32(256) << QStringList() << 256;
        QTest::newRow("frame size 0") << 1000 << u32(0) << QStringList{zero_size} << -1;
        QTest::newRow("no data bytes") << 1000 << QByteArray() << short_data << -1;
        // Checksum and tail must not be read as a frame size.
        QTest::newRow("three data bytes") << 1000 << u32(256).left(3) << short_data << -1;
        QTest::newRow("extra bytes ignored") << 1000 << u32(256) + "xyz" << QStringList() << 256;
        QTest::newRow("slice too large for a frame")
            << 100000 << u32(70000)
            << QStringList{QStringLiteral("下位机返回的每帧固件大小70000超过65531字节")} << -1;
        QTest::newRow("large frame size, small image")
            << 1000 << u32(70000) << QStringList() << 1000;
    }

    void start_response()
    {
        QFETCH(int, image_size);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, boxes);
        QFETCH(int, first_slice);
        const QByteArray image = patterned(image_size);
        request_start(image);
        answer(ota_frame::command_start, data);
        if (first_slice > 0) {
            QCOMPARE(next_frame(), ota_frame::build_data_frame(0, image.constData(), first_slice));
            QCOMPARE(driver->status_label()->text(), QStringLiteral("开始OTA传输"));
            QVERIFY(!driver->progress_bar()->isHidden());
            QCOMPARE(driver->progress_bar()->value(), 0);
            QVERIFY(recorder->boxes.isEmpty());
            return;
        }
        QVERIFY(wait_for([&] { return recorder->boxes.size() == boxes.size(); }));
        for (int i = 0; i < boxes.size(); ++i)
            QCOMPARE(recorder->boxes.at(i).text, boxes.at(i));
        // Nothing to slice by, now or on an acknowledgement; still marked
        // running, so the next double press cancels.
        answer(ota_frame::command_data, ok);
        QVERIFY(nothing_sent());
        driver->double_press();
        QCOMPARE(recorder->boxes.last().text, cancelled);
        QVERIFY(nothing_sent());
    }

    void upgrade_end_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("box");

        QTest::newRow("refused") << "refuse" << QStringLiteral("下位机返回OTA失败信息");
        QTest::newRow("end too early")
            << "end" << QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成");
        QTest::newRow("second start") << "start" << QStringLiteral("接受到错误的升级提醒错误信息");
        QTest::newRow("cancelled") << "cancel" << cancelled;
        QTest::newRow("file chosen") << "choose" << while_running;
        QTest::newRow("port lost") << "lose" << QString();
    }

    void upgrade_end()
    {
        QFETCH(QString, how);
        QFETCH(QString, box);
        const QByteArray image = patterned(1000);
        request_start(image);
        answer(ota_frame::command_start, u32(256));
        QCOMPARE(ota_frame::ba_to_u32(next_frame().mid(6, 4)), 0u);

        // The device acknowledges the frame in flight while the box is open.
        recorder->while_box_open = [&](const dialog_recorder::box &) {
            answer(ota_frame::command_data, ok);
            wait_for([] { return false; }, 100);
        };
        if (how == "refuse" || how == "end" || how == "start")
            answer(how == "refuse" ? ota_frame::command_data
                   : how == "end"  ? ota_frame::command_end
                                   : ota_frame::command_start,
                   how == "refuse" ? QByteArray(1, 0x00)
                   : how == "end"  ? ok
                                   : u32(256));
        else if (how == "cancel")
            driver->double_press();
        else if (how == "choose")
            choose(write_file(QStringLiteral("image.bin"), image));
        else
            line->close_master();
        if (box.isEmpty()) {
            QVERIFY(
                wait_for([&] { return driver->status_label()->text().startsWith("连接已丢失"); }));
            line = std::make_unique<pty_pair>();
            QVERIFY(driver->connect_to(line->slave_path()));
        } else {
            QVERIFY(wait_for([&] { return recorder->boxes.size() == 1; }));
            QCOMPARE(recorder->boxes.first().text, box);
        }
        recorder->while_box_open = nullptr;
        // The upgrade is over: late answers send nothing and show nothing.
        QVERIFY(nothing_sent());
        answer(ota_frame::command_data, ok);
        QVERIFY(nothing_sent());
        answer(ota_frame::command_end, ok);
        QVERIFY(nothing_sent());
        QCOMPARE(recorder->boxes.size(), box.isEmpty() ? 0 : 1);
        QVERIFY(driver->status_label()->text() != success);
        QVERIFY(!driver->progress_bar()->isHidden());
        // A new double press starts a new upgrade from offset 0.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
        answer(ota_frame::command_start, u32(512));
        QCOMPARE(next_frame(), ota_frame::build_data_frame(0, image.constData(), 512));
    }

    void answers_out_of_turn()
    {
        // Before any file: nothing to slice, nothing marked running.
        answer(ota_frame::command_start, u32(256));
        QVERIFY(nothing_sent());
        answer(ota_frame::command_data, ok);
        answer(ota_frame::command_end, ok);
        QVERIFY(nothing_sent());
        // An image, but no start request sent for it.
        choose(write_file(QStringLiteral("a.bin"), patterned(1000)));
        answer(ota_frame::command_start, u32(256));
        QVERIFY(nothing_sent());
        // A start request with the port closed is not sent and not counted.
        driver->action("action_serial_disconneect")->trigger();
        driver->double_press();
        QCOMPARE(driver->status_label()->text(), QStringLiteral("串口未连接，未发送"));
        QVERIFY(driver->connect_to(line->slave_path()));
        answer(ota_frame::command_start, u32(256));
        QVERIFY(nothing_sent());
        // The start request went out for an image replaced since.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
        const QByteArray second = patterned(5000, 2);
        choose(write_file(QStringLiteral("b.bin"), second));
        answer(ota_frame::command_start, u32(256));
        QVERIFY(nothing_sent());
        QVERIFY(recorder->boxes.isEmpty());
        // While the dialog is open the old image is gone; cancelled, no image.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(5000));
        answer(ota_frame::command_start, u32(256));
        QCOMPARE(next_frame(), ota_frame::build_data_frame(0, second.constData(), 256));
        bool sent_during_dialog = true;
        recorder->while_dialog_open = [&] {
            answer(ota_frame::command_data, ok);
            sent_during_dialog = !nothing_sent(100);
        };
        choose(QString());
        QVERIFY(!sent_during_dialog);
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.first().text, while_running);
        driver->double_press();
        QCOMPARE(recorder->boxes.last().text, choose_a_file);
        QVERIFY(nothing_sent());
    }

    void unloadable_file_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text_start");

        QTest::newRow("missing") << "missing.bin" << qint64(-1) << QStringLiteral("文件打开失败");
        // Sparse files: nothing of them is read.
        QTest::newRow("beyond 32 bits")
            << "huge.bin" << (qint64(1) << 32) + 5 << QStringLiteral("文件过大：4294967301字节");
        QTest::newRow("beyond memory")
            << "big.bin" << (qint64(3) << 30) << QStringLiteral("文件过大：3221225472字节");
    }

    void unloadable_file()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, text_start);
        QFile file(dir.filePath(name));
        if (size >= 0 && (!file.open(QIODevice::WriteOnly) || !file.resize(size)))
            QSKIP("no sparse files here");
        // A good image first, so that the failed choice visibly discards it.
        choose(write_file(QStringLiteral("good.bin"), patterned(10)));
        choose(file.fileName());
        file.remove();
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.first().title, QStringLiteral("错误信息"));
        QVERIFY(recorder->boxes.first().text.startsWith(text_start));
        QVERIFY(recorder->boxes.first().text.size() > text_start.size());
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

        const QByteArray image = patterned(1000, 7);
        const QStringList none;
        const QList<int> clean{0, 50, 75, 100};
        QTest::newRow("empty image") << QByteArray() << none << none << QList<int>{0, 100} << 0;
        QTest::newRow("1000 bytes by 256") << image << none << none << clean << 0;
        QTest::newRow("1024 bytes by 256") << patterned(1024, 3) << none << none << clean << 0;
        QTest::newRow("frame larger than image")
            << image << QStringList{"--frame-size", "4096"} << none << QList<int>{0, 100} << 0;
        QTest::newRow("markers throughout")
            << QByteArray("QZTCTCQZ").repeated(300) << none << none
            << QList<int>{0, 20, 30, 40, 50, 60, 70, 80, 90, 100} << 0;
        QTest::newRow("1 MiB by 1024")
            << patterned(1 << 20, 5) << QStringList{"--frame-size", "1024"} << none << QList<int>()
            << 0;
        QTest::newRow("refused frame 2")
            << image << QStringList{"--refuse-frame", "2"} << QStringList{"下位机返回OTA失败信息"}
            << clean.mid(0, 2) << 1;
        QTest::newRow("end answered early")
            << image << QStringList{"--end-early", "2"}
            << QStringList{"收到下位机传输结束OTA结束信息\r\nOTA未完成"} << clean.mid(0, 2) << 1;
        QTest::newRow("end answered with failure")
            << image << QStringList{"--end-failure"} << QStringList{"结束时下位机返回OTA失败信息"}
            << clean << 1;
        QTest::newRow("frame size 0") << image << QStringList{"--frame-size", "0"}
                                      << QStringList{zero_size, cancelled} << QList<int>() << 1;
        QTest::newRow("start response without data")
            << image << QStringList{"--short-start"}
            << QStringList{"ba_to_u32执行错误", zero_size, cancelled} << QList<int>() << 1;
        QTest::newRow("second start response")
            << image << QStringList{"--second-start", "3"}
            << QStringList{"接受到错误的升级提醒错误信息"} << clean.mid(0, 3) << 1;
        QTest::newRow("silent after frame 2")
            << image << QStringList{"--silent-after", "2", "--idle-timeout", "300"}
            << QStringList{cancelled} << clean.mid(0, 2) << 3;
        for (const char *fault : {"--bad-checksum", "--wrong-type", "--wrong-command"})
            QTest::newRow(fault) << image << QStringList{fault, "2"} << none << clean << 0;
        for (const char *fault : {"--noise", "--byte-at-a-time"})
            QTest::newRow(fault) << image << QStringList{fault} << none << clean << 0;
        QTest::newRow("paced") << image << QStringList{"--pace", "115200"} << none << clean << 0;
    }

    void with_device()
    {
        QFETCH(QByteArray, image);
        QFETCH(QStringList, fault);
        QFETCH(QStringList, boxes);
        QFETCH(QList<int>, progress);
        QFETCH(int, device_status);

        pty_link link;
        QVERIFY(link.is_valid());
        driver->action("action_serial_disconneect")->trigger();
        QVERIFY(driver->connect_to(link.first_path()));
        const QString received_path = dir.filePath(QStringLiteral("received.bin"));
        const QStringList device{"--port", link.second_path(), "--output", received_path};
        choose(write_file(QStringLiteral("image.bin"), image));
        QCOMPARE(driver->status_label()->text(),
                 QStringLiteral("选择OTA升级文件:") + dir.filePath(QStringLiteral("image.bin")));

        driver->progress_bar()->reset();
        QSignalSpy progress_spy(driver->progress_bar(), &QProgressBar::valueChanged);
        QCOMPARE(run_device(QStringList{"--frame-size", "256"} + fault + device), device_status);
        QList<int> seen;
        for (const QList<QVariant> &arguments : progress_spy)
            seen << arguments.at(0).toInt();
        seen.removeAll(-1);
        if (device_status == 0) {
            QVERIFY(wait_for([&] { return driver->status_label()->text() == success; }));
            QVERIFY(driver->progress_bar()->isHidden());
            QFile received(received_path);
            QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == image);
        } else if (boxes.contains(cancelled)) {
            // Still marked running: the next double press cancels.
            wait_for([] { return false; }, 100);
            driver->double_press();
        }
        if (!progress.isEmpty() || seen.isEmpty())
            QCOMPARE(seen, progress);
        else
            QVERIFY(seen.first() == 0 && seen.last() == 100 &&
                    std::is_sorted(seen.begin(), seen.end()));
        QStringList shown;
        for (const dialog_recorder::box &box : qAsConst(recorder->boxes))
            shown << box.text;
        QCOMPARE(shown, boxes);
        // The image survives every ending: it upgrades again, no new choice.
        recorder->boxes.clear();
        QFile::remove(received_path);
        if (image.size() <= 4096) {
            QCOMPARE(run_device(QStringList{"--frame-size", "256"} + device), 0);
            QVERIFY(wait_for([&] { return driver->status_label()->text() == success; }));
            QFile received(received_path);
            QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == image);
            QVERIFY(recorder->boxes.isEmpty());
        }
    }

    void real_file_dialog_and_box()
    {
        recorder.reset(); // the real dialogs from here on
        // The dialog opens in the current directory: a small one lists fast.
        const QString previous_dir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QString path = write_file(QStringLiteral("real.bin"), patterned(20));
        modal_answerer answerer;
        answerer.file_answers << QString() << path;
        driver->single_press();
        QVERIFY(wait_for([&] { return !answerer.boxes.isEmpty(); }, 30000));
        QCOMPARE(answerer.file_dialogs, QStringList{QStringLiteral("Open File")});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("错误信息"));
        QCOMPARE(answerer.boxes[0].text, choose_a_file);
        driver->single_press();
        QVERIFY(wait_for([&] { return driver->status_label()->text().startsWith("选择"); }, 30000));
        QDir::setCurrent(previous_dir);
        QCOMPARE(driver->status_label()->text(), QStringLiteral("选择OTA升级文件:") + path);
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(20));
    }
};

QTEST_MAIN(tst_ota_upgrade)
#include "tst_ota_upgrade.moc"
