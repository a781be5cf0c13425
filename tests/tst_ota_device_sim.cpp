// The simulated device judges the tool's frames: these check that it
// catches what it must, so that an end-to-end pass means something.
#include "event_wait.h"
#include "ota_frame.h"
#include "pty_pair.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef OTA_DEVICE_SIM_PATH
#error "OTA_DEVICE_SIM_PATH must name the simulated device program"
#endif

namespace {

QByteArray data_frame(quint32 offset, const QByteArray &slice)
{
    return ota_frame::build_data_frame(offset, slice.constData(), quint32(slice.size()));
}

} // namespace

class tst_ota_device_sim : public QObject
{
    Q_OBJECT

private slots:
    void help_and_bad_options();
    void judges_the_tool_frames_data();
    void judges_the_tool_frames();
};

void tst_ota_device_sim::help_and_bad_options()
{
    QProcess help;
    help.start(QStringLiteral(OTA_DEVICE_SIM_PATH), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished());
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains("--refuse-frame"));

    QProcess bad;
    bad.start(QStringLiteral(OTA_DEVICE_SIM_PATH), {QStringLiteral("--frame-size"), "x"});
    QVERIFY(bad.waitForFinished());
    QCOMPARE(bad.exitCode(), 2);
}

void tst_ota_device_sim::judges_the_tool_frames_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("last_answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("image");

    using list = QList<QByteArray>;
    const QByteArray ok_end = ota_frame::build_end_frame();
    const QByteArray failed_end = ota_frame::build_frame(ota_frame::command_end, QByteArray(1, 0));
    // Slices of 4 bytes; the image holds both marker pairs.
    QTest::newRow("complete") << list{ota_frame::build_start_frame(6), data_frame(0, "QZTC"),
                                      data_frame(4, "TC"), ok_end}
                              << ok_end << 0 << QByteArray("QZTCTC");
    QTest::newRow("end before the image is complete")
        << list{ota_frame::build_start_frame(6), data_frame(0, "abcd"), ok_end} << failed_end << 1
        << QByteArray("abcd");
    QTest::newRow("offset does not continue")
        << list{ota_frame::build_start_frame(8), data_frame(0, "abcd"), data_frame(5, "efg")}
        << QByteArray() << 4 << QByteArray();
    QTest::newRow("slice longer than the frame size")
        << list{ota_frame::build_start_frame(8), data_frame(0, "abcdefgh")} << QByteArray() << 4
        << QByteArray();
    QByteArray bad_sum = ota_frame::build_start_frame(8);
    bad_sum[bad_sum.size() - 3] = char(bad_sum.at(bad_sum.size() - 3) + 1);
    QTest::newRow("bad checksum") << list{bad_sum} << QByteArray() << 4 << QByteArray();
}

void tst_ota_device_sim::judges_the_tool_frames()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QByteArray, last_answer);
    QFETCH(int, status);
    QFETCH(QByteArray, image);

    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.bin"));
    pty_pair line;
    QVERIFY(line.is_valid());
    QProcess device;
    device.start(QStringLiteral(OTA_DEVICE_SIM_PATH),
                 {"--port", line.slave_path(), "--frame-size", "4", "--output", output});
    QVERIFY(wait_for([&] { return device.canReadLine(); }));

    QByteArray answers;
    for (const QByteArray &frame : frames) {
        QVERIFY(line.write_master(frame));
        answers += line.read_master(10, 300);
    }
    QVERIFY(wait_for([&] { return device.state() == QProcess::NotRunning; }));
    answers += line.read_available();
    QCOMPARE(device.exitCode(), status);
    if (!last_answer.isEmpty())
        QVERIFY(answers.endsWith(last_answer));
    // The start response gives the frame size of the command line.
    if (status != 4 || frames.size() > 1)
        QVERIFY(answers.startsWith(
            ota_frame::build_frame(ota_frame::command_start, QByteArray::fromHex("00000004"))));
    if (!image.isEmpty()) {
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), image);
    }
}

QTEST_MAIN(tst_ota_device_sim)
#include "tst_ota_device_sim.moc"
