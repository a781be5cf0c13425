// vantrel-ota and one simulated device per board, each a process, on pty pairs that this test
// relays between: it sees every byte and can time a signal to an answer, slow a line down, or
// unplug a board's port once its device has gone.
#include "ota_frame.h"
#include "package_files.h"
#include "pty_pair.h"
#include <QtTest>
#include <csignal>
#include <map>

struct board
{
    pty_pair tool_side, device_side;
    QProcess device;
    QByteArray from_device, to_device;
    bool slow = false, unplug = false; // a line of some 1 KB/s; the port goes with the device
    int answers = 0, cut_at = 0, signal_at = 0; // watch: unplug or signal at the Nth answer
    int signal_number = SIGINT;
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
        QTest::newRow("SIGHUP") << boards{{}} << QStringList{"--json", "@hup"} << 3 << 130
                                << QStringList{"interrupted|"};
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
        const int signal_number = tool.removeAll("@hup") ? SIGHUP : SIGINT;
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
                        QCOMPARE(::kill(pid_t(process.processId()), signal_number), 0);
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

    // The operator's terminal closed: the hang-up interrupts, and the summary that can no longer
    // be shown is no failure of its own.
    void hangup_on_a_terminal()
    {
        QTemporaryDir dir;
        pty_pair terminal, line;
        QVERIFY(package_files::write(dir.filePath("image.bin"), QByteArray(5000, 'x')));
        QProcess process;
        process.setStandardOutputFile(terminal.slave_path());
        process.setStandardErrorFile(terminal.slave_path());
        process.start(VANTREL_OTA_PATH,
                      {"flash", dir.filePath("image.bin"), "-t0", "--port", line.slave_path()});
        QVERIFY(!line.read_master(1, 10000).isEmpty() && !terminal.read_master(1).isEmpty());
        terminal.close_master();
        ::kill(pid_t(process.processId()), SIGHUP);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 130);
    }

    void watch_data()
    {
        // Steps: "plug N [simulator options]" links board N into the watched folder; "wait N"
        // until N boards are reported; "hold": 1.5 s without a report; "unplug N": the link goes;
        // "cut N A": at board N's Ath answer it is pulled out; "signal N A": SIGINT once the tool
        // has written after it;
        // "hangup N A": SIGHUP so; "alias N": a second link to board N; "stop": SIGINT; "rotate":
        // the log renamed; "second": another station on the same folder.
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("tool");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QStringList>("results"); // board | result | part of reason [| bytes]
        const QStringList count2{"--json", "--count", "2"}, passed{"0|succeeded|OTA成功"};
        QTest::newRow("passes, stays, and passes again when plugged again")
            << QStringList{"plug 0", "wait 1", "hold", "unplug 0", "plug 0"}
            << QStringList{"--count", "2"} << 0 << passed + passed;
        QTest::newRow("one board under two names is taken once")
            << QStringList{"plug 0", "alias 0", "wait 1", "hold", "stop"} << QStringList() << 130
            << passed;
        QTest::newRow("one pulled out mid-upgrade, the other passes")
            << QStringList{"cut 0 3", "plug 0", "plug 1"} << count2 << 4
            << QStringList{"0|port_error|port lost (read failed)|256", "1|succeeded|OTA成功"};
        QTest::newRow("SIGINT") << QStringList{"signal 0 1", "plug 0 --silent-after 1"}
                                << QStringList{"--json"} << 130
                                << QStringList{"0|interrupted|interrupted|0"};
        QTest::newRow("SIGHUP") << QStringList{"hangup 0 1", "plug 0 --silent-after 1"}
                                << QStringList() << 130
                                << QStringList{"0|interrupted|interrupted|0"};
        QTest::newRow("log renamed: a new one at the path")
            << QStringList{"plug 0", "wait 1", "rotate", "plug 1", "wait 2", "stop"}
            << QStringList() << 130 << passed + QStringList{"1|succeeded|OTA成功"};
        QTest::newRow("a second station leaves the board alone")
            << QStringList{"plug 0", "wait 1", "second", "hold", "stop"} << QStringList() << 130
            << passed;
        QTest::newRow("log cannot be written")
            << QStringList{"plug 0"} << QStringList{"--log", "/dev/full"} << 6 << QStringList();
        QTest::newRow("disk full in the middle of a record")
            << QStringList{"plug 0"} << QStringList{"@full-disk"} << 6 << QStringList();
        QTest::newRow("log in a missing folder")
            << QStringList{"plug 0"} << QStringList{"--log", "/nonexistent/log"} << 6
            << QStringList();
    }
    void watch()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, tool);
        QFETCH(QStringList, results);
        QTemporaryDir dir;
        const QByteArray image = QByteArray::fromHex("515a03544300ff").repeated(429);
        QVERIFY(package_files::write(dir.filePath("image.bin"), image) &&
                QDir(dir.path()).mkdir("p"));
        const auto link = [&](int n) { return dir.filePath("p/b" + QString::number(n)); };
        QProcess process, second;
        // "@full-disk": the log may not pass 512 bytes, which the record after these 400 does.
        const bool full_disk = tool.removeAll("@full-disk");
        QVERIFY(!full_disk || package_files::write(dir.filePath("log"),
                                                   "{\"pad\":\"" + QByteArray(389, '-') + "\"}\n"));
        const QStringList arguments =
            QStringList{VANTREL_OTA_PATH,
                        "watch",
                        dir.filePath("image.bin"),
                        "--match",
                        dir.filePath("p/*"),
                        "--timeout",
                        "1"} +
            (tool.contains("--log") ? tool : tool + QStringList{"--log", dir.filePath("log")});
        process.start("sh",
                      QStringList{"-c", QString("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"")
                                            .arg(full_disk ? "1" : "unlimited")} +
                          arguments);
        std::map<int, std::unique_ptr<board>> boards;
        QString output, error;
        QDeadlineTimer deadline(15000);
        const auto until = [&](const std::function<bool()> &done) {
            while (!done() && !process.waitForFinished(2) && !deadline.hasExpired()) {
                for (auto &[n, b] : boards) {
                    const QByteArray out = b->tool_side.read_available();
                    if (!out.isEmpty() && b->signal_at && b->answers >= b->signal_at)
                        ::kill(pid_t(process.processId()), b->signal_number), b->signal_at = 0;
                    if (!b->device_side.write_master(out))
                        continue;
                    b->from_device += b->device_side.read_available();
                    for (QByteArray frame;
                         !(frame = ota_frame::take_frame_by_length(b->from_device)).isEmpty();) {
                        if (++b->answers == b->cut_at) {
                            QFile::remove(link(n)), b->tool_side.close_master();
                            break;
                        }
                        b->tool_side.write_master(frame);
                    }
                }
                output += process.readAllStandardOutput(), error += process.readAllStandardError();
            }
            return done();
        };
        for (const QString &step : script) {
            const QStringList words = step.split(' ');
            const int n = words.value(1).toInt();
            auto &b = boards[n];
            b = b ? std::move(b) : std::make_unique<board>();
            if (words[0] == "plug") {
                b->device.waitForFinished(1000), b->answers = 0;
                b->device.start(OTA_DEVICE_SIM_PATH,
                                QStringList{"--port", b->device_side.slave_path()} + words.mid(2));
                QVERIFY(b->device.waitForReadyRead(10000));
                QVERIFY(QFile::link(b->tool_side.slave_path(), link(n)));
            } else if (words[0] == "wait") {
                QVERIFY2(until([&] { return output.count('\n') >= n; }), qPrintable(error));
            } else if (words[0] == "hold") {
                const int before = output.count('\n');
                QDeadlineTimer hold(1500);
                until([&] { return hold.hasExpired(); });
                QCOMPARE(output.count('\n'), before);
            } else if (words[0] == "alias") {
                QVERIFY(QFile::link(b->tool_side.slave_path(), dir.filePath("p/c0")));
            } else if (words[0] == "stop") {
                ::kill(pid_t(process.processId()), SIGINT);
                if (second.state() != QProcess::NotRunning)
                    ::kill(pid_t(second.processId()), SIGINT);
            } else if (words[0] == "rotate") {
                QVERIFY(QFile::rename(dir.filePath("log"), dir.filePath("log.1")));
            } else if (words[0] == "second") {
                second.start(VANTREL_OTA_PATH,
                             arguments.mid(1, 6) + QStringList{"--log", dir.filePath("log2")});
                QVERIFY(second.waitForStarted());
            } else if (words[0] == "unplug") {
                QFile::remove(link(n));
                QVERIFY(until([&] { return error.contains(link(n) + ": removed"); }));
            } else {
                (words[0] == "cut" ? b->cut_at : b->signal_at) = words[2].toInt();
                b->signal_number = words[0] == "hangup" ? SIGHUP : SIGINT;
            }
        }
        until([] { return false; });
        output += process.readAllStandardOutput(), error += process.readAllStandardError();
        QTEST(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, "exit_code");
        QVERIFY2(error.contains(results.isEmpty() ? "the log" : "passed"), qPrintable(error));
        if (script.contains("second")) // said why, and took no board
            QVERIFY((second.state() == QProcess::NotRunning || second.waitForFinished(5000)) &&
                    second.readAllStandardOutput().isEmpty() &&
                    second.readAllStandardError().contains("in use by another program") &&
                    package_files::read(dir.filePath("log2")).isEmpty());
        if (script.contains("rotate"))
            QVERIFY(error.contains("a new one is started"));
        QFile log(dir.filePath("log"));
        QVERIFY(results.isEmpty() || log.open(QIODevice::ReadOnly));
        const QList<QByteArray> records =
            (package_files::read(dir.filePath("log.1")) + (log.isOpen() ? log.readAll() : ""))
                .split('\n')
                .mid(0, results.size());
        QCOMPARE(output.count('\n'), results.size()); // nothing shown that is not on record
        for (const QByteArray &line : package_files::read(dir.filePath("log")).split('\n'))
            QVERIFY2(line.isEmpty() || QJsonDocument::fromJson(line).isObject(), line.constData());
        const QRegularExpression iso(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$");
        QStringList expected = results;
        for (const QByteArray &line : records) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString board_result = QString("%1|%2|%3")
                                             .arg(o["port"].toString().right(1),
                                                  o["result"].toString(), o["reason"].toString());
            const auto found =
                std::find_if(expected.begin(), expected.end(), [&](const QString &e) {
                    return board_result.startsWith(e.section('|', 0, 1) + '|') &&
                           board_result.contains(e.section('|', 2, 2));
                });
            QVERIFY2(found != expected.end(), line.constData());
            const QString bytes = found->section('|', 3);
            QCOMPARE(o["bytes"].toInt(), bytes.isEmpty() ? image.size() : bytes.toInt());
            expected.erase(found);
            const int n = o["port"].toString().right(1).toInt();
            QVERIFY(iso.match(o["start"].toString()).hasMatch() &&
                    iso.match(o["end"].toString()).hasMatch());
            QVERIFY(o["start"].toString() <= o["end"].toString());
            QCOMPARE(o["port"].toString(), link(n));
            QCOMPARE(o["device"].toString(), boards[n]->tool_side.slave_path());
            QCOMPARE(o["image"].toString(), dir.filePath("image.bin"));
            QCOMPARE(o["image_bytes"].toInt(), image.size());
            QCOMPARE(o["image_sha256"].toString(),
                     QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
            QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+$")
                        .match(o["tool_version"].toString())
                        .hasMatch());
            QVERIFY2(tool.contains("--json")
                         ? output.contains(line + '\n')
                         : output.contains(link(n) + "  -  " +
                                           (o["result"] == "succeeded" ? "PASS" : "FAIL")),
                     qPrintable(output));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ota_tool)
#include "tst_ota_tool.moc"
