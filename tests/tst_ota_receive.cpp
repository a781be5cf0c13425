// The receive path: frames cut from chunk sequences, the buffer's trimming,
// and the window's read_data over a pseudo-terminal.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "frame_extractor.h"
#include "window_driver.h"
#include "mainwindow.h"
#include "ota_frame.h"
#include "pty_pair.h"

#include <QAction>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QByteArray ack = QByteArray::fromHex("515A0302000101B25443");
const QByteArray refusal = QByteArray::fromHex("515A0302000100B15443");
const QByteArray end_response = QByteArray::fromHex("515A0303000101B35443");
const QString incomplete_text = QStringLiteral("收到下位机传输结束OTA结束信息\r\nOTA未完成");
const QString refused_text = QStringLiteral("下位机返回OTA失败信息");

// What read_data does with each chunk, minus the view: the frames handed on.
struct receiver
{
    QByteArray buffer;
    QList<QByteArray> frames;

    void feed(const QByteArray &chunk)
    {
        buffer.append(chunk);
        if (chunk.isEmpty())
            return;
        frame_extractor::trim(buffer);
        const frame_extractor::search_result found = frame_extractor::take_frame(buffer);
        if (!found.frame.isEmpty())
            frames << found.frame;
    }
};

} // namespace

class tst_ota_receive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void frame_split_at_every_position();
    void one_frame_per_chunk();
    void stray_bytes_data();
    void stray_bytes();
    void marker_inside_data_drops_the_frame();
    void buffer_is_trimmed();
    void diagnostic_lines_follow_the_search();
    void window_shows_chunk_and_hands_frame_on();
    void clear_drops_half_frame();
    void bytes_arriving_during_box_are_read_after_it();
    void frames_sharing_a_read_are_all_handed_on();
};

void tst_ota_receive::initTestCase()
{
    Q_INIT_RESOURCE(images);
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
}

void tst_ota_receive::frame_split_at_every_position()
{
    const QByteArray image("0123456789abcdef");
    const QByteArray frame = ota_frame::build_data_frame(0x10, image.constData(), 16);
    for (int first = 0; first <= frame.size(); ++first) {
        for (int second = first; second <= frame.size(); ++second) {
            receiver r;
            r.feed(frame.left(first));
            r.feed(frame.mid(first, second - first));
            r.feed(frame.mid(second));
            QCOMPARE(r.frames.size(), 1);
            QCOMPARE(r.frames.first(), frame);
            QVERIFY(r.buffer.isEmpty());
        }
    }
}

void tst_ota_receive::one_frame_per_chunk()
{
    receiver r;
    r.feed(ack + end_response);
    QCOMPARE(r.frames, QList<QByteArray>{ack});
    QCOMPARE(r.buffer, end_response);
    // The second frame waits for more bytes, and an empty read is no byte.
    r.feed(QByteArray());
    QCOMPARE(r.frames.size(), 1);
    r.feed("x");
    QCOMPARE(r.frames, (QList<QByteArray>{ack, end_response}));
    QCOMPARE(r.buffer, QByteArray("x"));
}

void tst_ota_receive::stray_bytes_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("left");

    using list = QList<QByteArray>;
    QTest::newRow("noise before head") << list{"abc" + ack} << list{ack} << QByteArray();
    QTest::newRow("stray tail first") << list{"xxTC" + ack} << list{} << ack;
    QTest::newRow("stray tail, frame later")
        << list{"xxTC" + ack, "y"} << list{ack} << QByteArray("y");
    QTest::newRow("stray head before frame") << list{"QZ" + ack} << list{ack} << QByteArray();
    QTest::newRow("stray head, one byte, frame") << list{"QZ!" + ack} << list{ack} << QByteArray();
    QTest::newRow("head without tail") << list{"QZ\x03\x02"} << list{} << QByteArray("QZ\x03\x02");
    QTest::newRow("short fragment") << list{"QZ123TC"} << list{} << QByteArray();
    QTest::newRow("length says 1, two bytes")
        << list{QByteArray::fromHex("515A030200010101B35443")} << list{} << QByteArray();
    QTest::newRow("length says more than there is")
        << list{QByteArray::fromHex("515A03020009010101B35443")} << list{} << QByteArray();
    // A frame that fails later checks is still handed on: the handler drops it.
    QTest::newRow("bad checksum handed on")
        << list{QByteArray::fromHex("515A0302000101FF5443")}
        << list{QByteArray::fromHex("515A0302000101FF5443")} << QByteArray();
}

void tst_ota_receive::stray_bytes()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QByteArray, left);
    receiver r;
    for (const QByteArray &chunk : chunks)
        r.feed(chunk);
    QCOMPARE(r.frames, frames);
    QCOMPARE(r.buffer, left);
}

void tst_ota_receive::marker_inside_data_drops_the_frame()
{
    const QByteArray with_tail = ota_frame::build_frame(ota_frame::command_data, "TC");
    receiver r;
    r.feed(with_tail);
    QVERIFY(r.frames.isEmpty());
    // The rest of it (checksum and tail) is a stray tail to the next call...
    QCOMPARE(r.buffer, with_tail.right(3));
    r.feed(ack);
    QVERIFY(r.frames.isEmpty());
    QCOMPARE(r.buffer, ack);
    // ...and the good frame behind it goes on with the next chunk.
    r.feed("z");
    QCOMPARE(r.frames, QList<QByteArray>{ack});
}

void tst_ota_receive::buffer_is_trimmed()
{
    receiver r;
    r.feed(QByteArray(4096, 'a'));
    QCOMPARE(r.buffer.size(), 4096);
    r.feed("b");
    QCOMPARE(r.buffer.size(), 2049);
    QVERIFY(r.buffer.endsWith("ab"));

    // Once per chunk: a large chunk leaves the buffer above the threshold.
    receiver big;
    big.feed(QByteArray(10000, 'c'));
    QCOMPARE(big.buffer.size(), 10000 - 2048);

    // A head kept waiting for its tail goes with the trimmed bytes; the
    // tail left behind is dropped as a stray one by the next chunk.
    receiver waiting;
    waiting.feed("QZ" + QByteArray(4000, 'd'));
    waiting.feed(QByteArray(200, 'e') + "TC");
    QVERIFY(waiting.frames.isEmpty());
    QCOMPARE(waiting.buffer.size(), 4002 + 202 - 2048);
    waiting.feed(ack);
    QCOMPARE(waiting.buffer, ack);
}

namespace {

QStringList captured_lines;

void capture_line(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QLatin1String(context.category) == QLatin1String("vantrel.receive"))
        captured_lines << message.section(' ', 0, 0);
}

} // namespace

void tst_ota_receive::diagnostic_lines_follow_the_search()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=true"));
    captured_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture_line);
    QByteArray buffer = "QZ" + ack + "rest";
    const frame_extractor::search_result found = frame_extractor::take_frame(buffer);
    frame_extractor::log_remaining(buffer, found);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));

    QCOMPARE(found.frame, ack);
    QCOMPARE(buffer, QByteArray("rest"));
    // The buffer, each pass over the fragment, the frame, what is left.
    QCOMPARE(captured_lines, (QStringList{"usart_ba", "fragment_ba", "fragment_ba",
                                          QStringLiteral("找到合适的帧"), "frame_ba", "usart_ba"}));
}

void tst_ota_receive::window_shows_chunk_and_hands_frame_on()
{
    pty_pair line;
    QVERIFY(line.is_valid());
    dialog_recorder recorder;
    MainWindow window;
    main_window_driver driver(&window);
    QVERIFY(driver.connect_to(line.slave_path()));

    QVERIFY(line.write_master(QByteArray::fromHex("0AFF")));
    QVERIFY(wait_for([&] { return !driver.text_browser()->toPlainText().isEmpty(); }));
    QCOMPARE(driver.text_browser()->toPlainText(), QStringLiteral("收: 0A FF "));
    QVERIFY(driver.text_browser()->toHtml().contains(QStringLiteral("color:#ff0000")));

    // The end response ahead of any data frame is handed on: its box shows.
    QVERIFY(line.write_master(end_response));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 1; }));
    QCOMPARE(recorder.boxes.first().text, incomplete_text);
    // The view takes its lines in batches; this one follows shortly.
    QVERIFY(wait_for([&] {
        return driver.text_browser()->toPlainText().split('\n').last() ==
               QStringLiteral("收: 51 5A 03 03 00 01 01 B3 54 43 ");
    }));
}

void tst_ota_receive::clear_drops_half_frame()
{
    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    main_window_driver driver(&window);
    QVERIFY(driver.connect_to(line.slave_path()));

    QVERIFY(line.write_master(end_response.left(5)));
    QVERIFY(wait_for([&] { return !driver.text_browser()->toPlainText().isEmpty(); }));
    driver.action("action_clear")->trigger();
    QVERIFY(driver.text_browser()->toPlainText().isEmpty());
    QVERIFY(line.write_master(end_response.mid(5)));
    QVERIFY(wait_for([&] { return !driver.text_browser()->toPlainText().isEmpty(); }));
    wait_for([] { return false; }, 50);
    QVERIFY(recorder.boxes.isEmpty());

    // Without the clear the same halves make a frame.
    QVERIFY(line.write_master(end_response.left(5)));
    wait_for([] { return false; }, 50);
    QVERIFY(line.write_master(end_response.mid(5)));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 1; }));
}

void tst_ota_receive::bytes_arriving_during_box_are_read_after_it()
{
    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    main_window_driver driver(&window);
    QVERIFY(driver.connect_to(line.slave_path()));

    // The port does not signal new bytes while the slot that reads them is
    // still running; what came in meanwhile must not wait for more bytes.
    int open_boxes = 0;
    int most_open = 0;
    recorder.while_box_open = [&](const dialog_recorder::box &box) {
        ++open_boxes;
        most_open = qMax(most_open, open_boxes);
        if (box.text == incomplete_text) {
            line.write_master(refusal);
            wait_for([] { return false; }, 100);
        }
        --open_boxes;
    };
    QVERIFY(line.write_master(end_response));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 2; }));
    QCOMPARE(recorder.boxes.at(0).text, incomplete_text);
    QCOMPARE(recorder.boxes.at(1).text, refused_text);
    QCOMPARE(most_open, 1);
}

void tst_ota_receive::frames_sharing_a_read_are_all_handed_on()
{
    pty_pair line;
    dialog_recorder recorder;
    MainWindow window;
    main_window_driver driver(&window);
    QVERIFY(driver.connect_to(line.slave_path()));

    // A device that sends another frame just before its answer: both arrive
    // in one read, and the answer must not wait for a byte that never comes.
    QVERIFY(line.write_master(refusal + end_response + QByteArray("QZ")));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 2; }));
    QCOMPARE(recorder.boxes.at(0).text, refused_text);
    QCOMPARE(recorder.boxes.at(1).text, incomplete_text);
    // A head without its tail stays for the next read.
    wait_for([] { return false; }, 50);
    QCOMPARE(recorder.boxes.size(), 2);
    QVERIFY(line.write_master(refusal.mid(2)));
    QVERIFY(wait_for([&] { return recorder.boxes.size() == 3; }));
    QCOMPARE(recorder.boxes.at(2).text, refused_text);
}

QTEST_MAIN(tst_ota_receive)
#include "tst_ota_receive.moc"
