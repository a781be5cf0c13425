// vantrel-ota and one simulated device per board, each a process, on pty pairs that this test
// relays between: it sees every byte and can time a signal to an answer.
#include "ota_frame.h"
#include "package_files.h"
#include "pty_pair.h"
#include <QtTest>
#include <csignal>

struct board
{
    pty_pair tool_side, device_side;
    QProcess device;
    QByteArray from_device;
    ~board() { device.kill(), device.waitForFinished(); }
};

class tst_ota_tool : public QObject
{
    Q_OBJECT

private slots:
    void flash_data()
    {
        QTest::addColumn<QList<QStringList>>("devices"); // simulator options; {"none"}: no port
        QTest::addColumn<int>("signal_at_answer"); // SIGINT as the device's Nth answer arrives
        QTest::addColumn<bool>("json");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QStringList>("results"); // per board: result word | part of reason
        using boards = QList<QStringList>;
        QTest::newRow("one") << boards{{}} << 0 << true << 0 << QStringList{"succeeded|OTA成功"};
        QTest::newRow("three at once")
            << boards{{}, {"--refuse-frame", "2"}, {"--silent-after", "2"}} << 0 << false << 5
            << QStringList{"succeeded|OTA成功", "refused|下位机返回OTA失败信息",
                           "timeout|waiting for the acknowledgement of slice 2 at offset 256"};
        QTest::newRow("SIGINT") << boards{{}} << 3 << true << 130 << QStringList{"interrupted|"};
        QTest::newRow("no such port fails alone, and wins")
            << boards{{}, {"none"}, {"--frame-size", "0"}, {"--silent-after", "1"}} << 0 << true
            << 4
            << QStringList{"succeeded|", "port_error|cannot open", "refused|每帧固件大小不能为0",
                           "timeout|"};
    }
    void flash()
    {
        QFETCH(QList<QStringList>, devices);
        QFETCH(int, signal_at_answer);
        QFETCH(bool, json);
        QFETCH(QStringList, results);
        QTemporaryDir dir;
        const QByteArray image = QByteArray::fromHex("515a03544300ff").repeated(429); // 12 slices
        QVERIFY(package_files::write(dir.filePath("image.bin"), image));
        std::vector<std::unique_ptr<board>> boards;
        QStringList ports, arguments{"flash", dir.filePath("image.bin"), "--timeout", "1"};
        for (const QStringList &options : devices) {
            boards.push_back(options == QStringList{"none"} ? nullptr : std::make_unique<board>());
            board *b = boards.back().get();
            ports << (b ? b->tool_side.slave_path() : dir.filePath("none"));
            arguments << "--port" << ports.last();
            if (b) {
                b->device.start(OTA_DEVICE_SIM_PATH,
                                QStringList{"--port", b->device_side.slave_path(), "--output",
                                            dir.filePath(QString::number(ports.size()))} +
                                    options);
                QVERIFY(b->device.waitForReadyRead(10000) &&
                        b->device.readLine().startsWith("ready"));
            }
        }
        QProcess tool;
        tool.start(VANTREL_OTA_PATH, json ? arguments << "--json" : arguments);

        // Relay both ways; a signal goes out just before the answer it is timed to.
        int answers = 0;
        QByteArray sent_after_signal;
        for (QDeadlineTimer deadline(30000); !tool.waitForFinished(2) && !deadline.hasExpired();) {
            for (const auto &b : boards) {
                const QByteArray out = b ? b->tool_side.read_available() : QByteArray();
                sent_after_signal += answers >= signal_at_answer && signal_at_answer ? out : "";
                if (!b || !b->device_side.write_master(out))
                    continue;
                b->from_device += b->device_side.read_available();
                for (QByteArray frame;
                     !(frame = ota_frame::take_frame_by_length(b->from_device)).isEmpty();) {
                    if (++answers == signal_at_answer)
                        QCOMPARE(::kill(pid_t(tool.processId()), SIGINT), 0);
                    b->tool_side.write_master(frame);
                }
            }
        }
        const QString output = QString::fromUtf8(tool.readAllStandardOutput());
        QTEST(tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, "exit_code");
        QVERIFY2(sent_after_signal.isEmpty(), sent_after_signal.toHex().constData());
        for (int i = 0; i < ports.size(); ++i) {
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
            QCOMPARE(package_files::read(dir.filePath(QString::number(i + 1))) == image,
                     expected[0] == "succeeded");
        }
    }
};

QTEST_GUILESS_MAIN(tst_ota_tool)
#include "tst_ota_tool.moc"
