// vantrel-ota and one simulated device per board, each a process, on pty pairs that this test
// relays between: it sees every byte and can time a signal to an answer, slow a line down, or
// unplug a board's port once its device has gone.
#include "ota_frame.h"
#include "package_files.h"
#include "pty_pair.h"
#include <QtTest>
#include <csignal>

struct board
{
    pty_pair tool_side, device_side;
    QProcess device;
    QByteArray from_device, to_device;
    bool slow = false, unplug = false; // a line of some 1 KB/s; the port goes with the device
    ~board() { device.kill(), device.waitForFinished(); }
};

class tst_ota_tool : public QObject
{
    Q_OBJECT

private slots:
    void flash_data()
    {
        // Simulator options; {"none"}: no such port; {"same"}: a link to the board before;
        // "@slow", "@unplug" and "@in-dev" (named without /dev/) are this test's.
        QTest::addColumn<QList<QStringList>>("devices");
        // More options; "@full": standard output full; "@pipe": the image comes through a pipe;
        // "@empty": an empty one; "@large": 24 times as large.
        QTest::addColumn<QStringList>("tool");
        QTest::addColumn<int>("signal_at_answer"); // SIGINT as the device's Nth answer arrives
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QStringList>("results"); // per board: result | part of reason [| image]
        using boards = QList<QStringList>;
        const QStringList json{"--json"};
        QTest::newRow("one") << boards{{}} << json << 0 << 0 << QStringList{"succeeded|OTA成功"};
        QTest::newRow("three at once")
            << boards{{"@in-dev"}, {"--refuse-frame", "2"}, {"--silent-after", "2"}}
            << QStringList() << 0 << 5
            << QStringList{"succeeded|OTA成功", "refused|下位机返回OTA失败信息",
                           "timeout|waiting for the acknowledgement of slice 2 at offset 256"};
        QTest::newRow("SIGINT") << boards{{}} << json << 3 << 130 << QStringList{"interrupted|"};
        QTest::newRow("no such port fails alone, and wins")
            << boards{{}, {"none"}, {"--frame-size", "0"}, {"--silent-after", "1"}} << json << 0
            << 4
            << QStringList{"succeeded|", "port_error|cannot open", "refused|每帧固件大小不能为0",
                           "timeout|"};
        // The timeout counts from when a frame has crossed the line: 3 s for this slice.
        QTest::newRow("9600 baud, largest slice")
            << boards{{"--baud", "9600", "--pace", "9600", "--frame-size", "65531"}}
            << QStringList{"--baud", "9600"} << 0 << 0 << QStringList{"succeeded|"};
        QTest::newRow("921600 baud, answers in bursts")
            << boards{{"--baud", "921600", "--pace", "921600", "--burst", "16"}}
            << QStringList{"--baud", "921600"} << 0 << 0 << QStringList{"succeeded|"};
        // What is queued for a board given up is dropped; the other board goes on.
        QTest::newRow("slow line times out alone")
            << boards{{"--frame-size", "8192", "@slow"}, {}} << QStringList{"--json", "@large"} << 0
            << 5 << QStringList{"timeout|acknowledgement of slice 1", "succeeded|"};
        QTest::newRow("slice beyond the length field") // reported as the device asked for it
            << boards{{"--frame-size", "65532"}} << QStringList{"--json", "@large"} << 0 << 1
            << QStringList{"refused|每帧固件大小65532超过65531字节"};
        QTest::newRow("board restarts at the end")
            << boards{{"--restart-at-end", "@unplug"}} << json << 0 << 4
            << QStringList{"port_error|every slice was acknowledged, the end response was not "
                           "seen|image"};
        QTest::newRow("one board under two names")
            << boards{{}, {"same"}} << json << 0 << 2 << QStringList();
        QTest::newRow("results that cannot be written")
            << boards{{}} << QStringList{"--json", "@full"} << 0 << 6 << QStringList();
        QTest::newRow("image from a pipe")
            << boards{{}} << QStringList{"@pipe"} << 0 << 0 << QStringList{"succeeded|"};
        QTest::newRow("empty image")
            << boards{{}} << QStringList{"@pipe", "@empty"} << 0 << 3 << QStringList();
    }
    void flash()
    {
        QFETCH(QList<QStringList>, devices);
        QFETCH(QStringList, tool);
        QFETCH(int, signal_at_answer);
        QFETCH(QStringList, results);
        QTemporaryDir dir;
        const QByteArray image =
            QByteArray::fromHex("515a03544300ff")
                .repeated(tool.removeAll("@large") ? 24 * 429 : 429); // 12 slices
        QVERIFY(package_files::write(dir.filePath("image.bin"), image));
        std::vector<std::unique_ptr<board>> boards;
        QStringList ports, arguments{"flash", dir.filePath("image.bin"), "-t1"};
        for (QStringList options : devices) {
            const bool port = options != QStringList{"none"} && options != QStringList{"same"};
            boards.push_back(port ? std::make_unique<board>() : nullptr);
            board *b = boards.back().get();
            const QString link = dir.filePath(QString::number(ports.size()) + "-link");
            if (options == QStringList{"same"})
                QVERIFY(QFile::link(ports.last(), link));
            ports << (b ? b->tool_side.slave_path() : link);
            // A name without a leading "/" is looked up under /dev, and shown as opened.
            arguments << "--port"
                      << (options.removeAll("@in-dev") ? ports.last().mid(5) : ports.last());
            if (b) {
                b->slow = options.removeAll("@slow"), b->unplug = options.removeAll("@unplug");
                b->device.start(OTA_DEVICE_SIM_PATH,
                                QStringList{"--port", b->device_side.slave_path(), "--output",
                                            dir.filePath(QString::number(ports.size()))} +
                                    options);
                QVERIFY(b->device.waitForReadyRead(10000) &&
                        b->device.readLine().startsWith("ready"));
            }
        }
        QProcess process;
        if (tool.removeAll("@full"))
            process.setStandardOutputFile("/dev/full");
        const bool empty = tool.removeAll("@empty");
        if (tool.removeAll("@pipe"))
            arguments[1] = "/dev/stdin";
        process.start(VANTREL_OTA_PATH, arguments + tool);
        if (arguments[1] == "/dev/stdin")
            process.write(empty ? QByteArray() : image), process.closeWriteChannel();

        // Relay both ways; a signal goes out just before the answer it is timed to.
        int answers = 0;
        QByteArray sent_after_signal;
        for (QDeadlineTimer deadline(30000);
             !process.waitForFinished(2) && !deadline.hasExpired();) {
            for (const auto &b : boards) {
                const QByteArray out =
                    b ? b->tool_side.read_available(b->slow ? 2 : 1 << 20) : QByteArray();
                sent_after_signal += answers >= signal_at_answer && signal_at_answer ? out : "";
                if (!b || !b->device_side.write_master(out))
                    continue;
                b->to_device += out;
                b->from_device += b->device_side.read_available();
                for (QByteArray frame;
                     !(frame = ota_frame::take_frame_by_length(b->from_device)).isEmpty();) {
                    if (++answers == signal_at_answer)
                        QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
                    b->tool_side.write_master(frame);
                }
                if (b->unplug && b->device.state() == QProcess::NotRunning)
                    b->tool_side.close_master();
            }
        }
        for (const auto &b : boards) // what is left on the way to a slow line
            b && b->slow ? void(b->to_device += b->tool_side.read_available()) : void();
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QTEST(process.state() == QProcess::NotRunning &&
                      process.exitStatus() == QProcess::NormalExit
                  ? process.exitCode()
                  : -1,
              "exit_code");
        QVERIFY2(sent_after_signal.isEmpty(), sent_after_signal.toHex().constData());
        const QString error = QString::fromUtf8(process.readAllStandardError());
        if (results.isEmpty()) // nothing to report, and said why
            QVERIFY2(output.isEmpty() &&
                         error.contains(QRegularExpression(
                             "same port|cannot write to standard output|image is empty")),
                     qPrintable(error));
        for (int i = 0; i < results.size(); ++i) {
            const bool json = tool.contains("--json");
            const QJsonObject o =
                QJsonDocument::fromJson(output.section('\n', i, i).toUtf8()).object();
            const QString result = json ? QStringList{o["port"].toString(), o["result"].toString(),
                                                      o["reason"].toString()}
                                              .join(' ')
                                        : output.section('\n', i + 1, i + 1); // below the header
            const QStringList expected = results[i].split('|');
            QVERIFY2(result.startsWith(ports[i] + ' ') && result.contains(expected[0] + ' ') &&
                         result.contains(expected[1]),
                     qPrintable(output));
            const QByteArray received = package_files::read(dir.filePath(QString::number(i + 1)));
            QCOMPARE(received == image, expected[0] == "succeeded" || expected.value(2) == "image");
            // Image bytes counted as sent are those that went out in data frames.
            board *b = boards[i].get();
            qint64 on_the_line = 0;
            for (QByteArray frame;
                 b && !(frame = ota_frame::take_frame_by_length(b->to_device)).isEmpty();)
                on_the_line += ota_frame::command_of(frame) == ota_frame::command_data
                                   ? ota_frame::data_length(frame) - 4
                                   : 0;
            if (json && b && !b->slow)
                QCOMPARE(qint64(o["bytes_sent"].toDouble(-1)), on_the_line);
            if (json && expected[1].contains("65532"))
                QCOMPARE(o["slice_size"].toInt(), 65532);
            // A board given up on mid-slice: what was still queued for it never arrives.
            if (b && b->slow)
                QVERIFY2(on_the_line == 0, qPrintable(QString::number(b->to_device.size())));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ota_tool)
#include "tst_ota_tool.moc"
