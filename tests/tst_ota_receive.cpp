// The receive path: frames cut from chunk sequences and the buffer's
// trimming, then the window's read_data over a pseudo-terminal.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "frame_extractor.h"
#include "mainwindow.h"
#include "ota_frame.h"
#include "pty_pair.h"
#include "window_driver.h"

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QByteArray ack = QByteArray::fromHex("515A0302000101B25443");
using frames = QList<QByteArray>;

// What read_data does with each chunk, minus the view: the frames handed on.
struct receiver
{
    QByteArray buffer;
    frames taken;
    receiver &feed(const QByteArray &chunk)
    {
        buffer.append(chunk);
        if (chunk.isEmpty())
            return *this;
        frame_extractor::trim(buffer);
        const frame_extractor::search_result found = frame_extractor::take_frame(buffer);
        if (!found.frame.isEmpty())
            taken << found.frame;
        return *this;
    }
};

} // namespace

Q_DECLARE_METATYPE(frames)

class tst_ota_receive : public QObject
{
    Q_OBJECT

private slots:
    void frame_split_at_every_position();
    void chunks_data();
    void chunks();
    void buffer_is_trimmed();
    void window_hands_every_frame_on();
};

void tst_ota_receive::frame_split_at_every_position()
{
    const QByteArray frame = ota_frame::build_data_frame(0x10, "0123456789abcdef", 16);
    for (int first = 0; first <= frame.size(); ++first) {
        for (int second = first; second <= frame.size(); ++second) {
            receiver r;
            r.feed(frame.left(first))
                .feed(frame.mid(first, second - first))
                .feed(frame.mid(second));
            QCOMPARE(r.taken, frames{frame});
            QVERIFY(r.buffer.isEmpty());
        }
    }
}

void tst_ota_receive::chunks_data()
{
    QTest::addColumn<frames>("chunks");
    QTest::addColumn<frames>("handed_on");
    QTest::addColumn<QByteArray>("left");
    const QByteArray end = ota_frame::build_end_frame();
    const QByteArray with_tail = ota_frame::build_frame(ota_frame::command_data, "TC");
    QTest::newRow("one frame per chunk") << frames{ack + end} << frames{ack} << end;
    QTest::newRow("an empty read is no chunk") << frames{ack + end, ""} << frames{ack} << end;
    QTest::newRow("second frame with the next byte")
        << frames{ack + end, "x"} << frames{ack, end} << QByteArray("x");
    QTest::newRow("noise before head") << frames{"abc" + ack} << frames{ack} << QByteArray();
    QTest::newRow("stray tail first") << frames{"xxTC" + ack} << frames{} << ack;
    QTest::newRow("stray tail, frame later")
        << frames{"xxTC" + ack, "y"} << frames{ack} << QByteArray("y");
    QTest::newRow("stray head, one byte, frame")
        << frames{"QZ!" + ack} << frames{ack} << QByteArray();
    QTest::newRow("head without tail")
        << frames{"QZ\x03\x02"} << frames{} << QByteArray("QZ\x03\x02");
    QTest::newRow("short fragment") << frames{"QZ123TC"} << frames{} << QByteArray();
    QTest::newRow("eight bytes") << frames{QByteArray::fromHex("515A030200005443")} << frames{}
                                 << QByteArray();
    QTest::newRow("length says more than there is")
        << frames{QByteArray::fromHex("515A03020009010101B35443")} << frames{} << QByteArray();
    QTest::newRow("bad checksum handed on")
        << frames{QByteArray::fromHex("515A0302000101FF5443")}
        << frames{QByteArray::fromHex("515A0302000101FF5443")} << QByteArray();
    // A tail inside the data cuts the frame; its rest is a stray tail.
    QTest::newRow("marker inside data")
        << frames{with_tail, ack, "z"} << frames{ack} << QByteArray("z");
}

void tst_ota_receive::chunks()
{
    QFETCH(frames, chunks);
    QFETCH(frames, handed_on);
    QFETCH(QByteArray, left);
    receiver r;
    for (const QByteArray &chunk : chunks)
        r.feed(chunk);
    QCOMPARE(r.taken, handed_on);
    QCOMPARE(r.buffer, left);
}

void tst_ota_receive::buffer_is_trimmed()
{
    receiver r;
    QCOMPARE(r.feed(QByteArray(4096, 'a')).buffer.size(), 4096);
    QCOMPARE(r.feed("b").buffer.size(), 2049);
    // Once per chunk: a large chunk leaves the buffer above the threshold.
    QCOMPARE(receiver().feed(QByteArray(10000, 'c')).buffer.size(), 10000 - 2048);
    // A head kept waiting for its tail goes with the trimmed bytes.
    receiver waiting;
    waiting.feed("QZ" + QByteArray(4000, 'd')).feed(QByteArray(200, 'e') + "TC").feed(ack);
    QVERIFY(waiting.taken.isEmpty());
    QCOMPARE(waiting.buffer, ack);
}

void tst_ota_receive::window_hands_every_frame_on()
{
    Q_INIT_RESOURCE(images);
    QTemporaryDir dir;
    const QString image = dir.filePath("image.bin");
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(8, 'i')) == 8);
    file.close();
    pty_pair line;
    dialog_recorder recorder;
    recorder.file_answers << image;
    MainWindow window;
    main_window_driver driver(&window);
    QVERIFY(driver.connect_to(line.slave_path()));
    driver.single_press();
    QVERIFY(wait_for([&] { return driver.status_label()->text().endsWith(image); }));
    driver.double_press();
    QCOMPARE(line.read_master(13), ota_frame::build_start_frame(8));

    // The start response in two reads, with noise and a stray tail first:
    // slices of 4 bytes.
    const QByteArray start =
        ota_frame::build_frame(ota_frame::command_start, QByteArray::fromHex("00000004"));
    QVERIFY(line.write_master("\x0a\xffTC" + start.left(5)));
    const QString shown = QStringLiteral("收: 0A FF 54 43 51 5A 03 01 00 ");
    QVERIFY(wait_for([&] { return driver.text_browser()->toPlainText().endsWith(shown); }));
    QVERIFY(driver.text_browser()->toHtml().contains("color:#ff0000"));
    QVERIFY(line.write_master(start.mid(5)));
    QCOMPARE(line.read_master(17), ota_frame::build_data_frame(0, "iiii", 4));
    // Clear drops half an acknowledgement: its rest is no frame.
    QVERIFY(line.write_master(ack.left(5)));
    QVERIFY(wait_for(
        [&] { return driver.text_browser()->toPlainText().endsWith("收: 51 5A 03 02 00 "); }));
    driver.action("action_clear")->trigger();
    QVERIFY(driver.text_browser()->toPlainText().isEmpty());
    QVERIFY(line.write_master(ack.mid(5)));
    QCOMPARE(line.read_master(1, 200), QByteArray());
    // Two acknowledgements in one read, behind that stray rest: both go on
    // without a further byte.
    QVERIFY(line.write_master(ack + ack));
    QCOMPARE(line.read_master(17 + 10),
             ota_frame::build_data_frame(4, "iiii", 4) + ota_frame::build_end_frame());
    // Bytes that come while the box of a failed end is open are read once
    // the box has closed.
    recorder.while_box_open = [&](const dialog_recorder::box &) {
        line.write_master("\x01\x02");
        wait_for([] { return false; }, 100);
    };
    QVERIFY(line.write_master(ota_frame::build_frame(ota_frame::command_end, QByteArray(1, 0))));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 1; }));
    QCOMPARE(recorder.boxes[0].text, QStringLiteral("结束时下位机返回OTA失败信息"));
    QVERIFY(wait_for([&] { return driver.text_browser()->toPlainText().endsWith("收: 01 02 "); }));
}

QTEST_MAIN(tst_ota_receive)
#include "tst_ota_receive.moc"
