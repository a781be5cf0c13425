// The OTA frame codec and the receive path's frame extraction: frames byte for byte, the checks
// on received frames in their order, frames cut from chunk sequences and the buffer's trimming;
// a written frame handed to the line without waiting for the event loop.
// The window's read_data is driven in tst_serial_line.
#include "frame_extractor.h"
#include "ota_frame.h"
#include "send_now.h"
#include "serial_line.h"
#include <QtTest>

#ifdef Q_OS_UNIX
#include "pty_pair.h"
#include <poll.h>
#endif

using frames = QList<QByteArray>;
Q_DECLARE_METATYPE(frames)

static const auto from_hex = [](const char *text) { return QByteArray::fromHex(text); };

class tst_ota_frame : public QObject
{
    Q_OBJECT

private slots:
#ifdef Q_OS_UNIX
    void frame_leaves_when_written()
    {
        pty_pair line;
        QSerialPort port;
        port.setPortName(line.slave_path());
        QVERIFY(port.open(QIODevice::ReadWrite));
        const QByteArray frame = ota_frame::build_end_frame();
        QCOMPARE(port.write(frame), qint64(frame.size()));
        QVERIFY(serial_output::send_now(port));
        // No event is processed: the frame must already be on its way.
        pollfd arrived{line.master(), POLLIN, 0};
        QCOMPARE(poll(&arrived, 1, 2000), 1);
        char buffer[64];
        QCOMPARE(::read(line.master(), buffer, sizeof buffer), ssize_t(frame.size()));
        QCOMPARE(QByteArray(buffer, int(frame.size())), frame);
    }
#endif
    void frames_built_and_read()
    {
        QCOMPARE(ota_frame::build_end_frame(), from_hex("515A0303000101B35443"));
        QCOMPARE(ota_frame::build_start_frame(1000), from_hex("515A03010004000003E89E5443"));
        QCOMPARE(ota_frame::build_start_frame(0xA1B2C3D4).mid(6, 4), from_hex("A1B2C3D4"));
        QCOMPARE(ota_frame::build_frame(ota_frame::command_start, from_hex("00000100")),
                 from_hex("515A0301000400000100B45443"));
        QCOMPARE(ota_frame::build_data_frame(0x01020304, "\xAA\xBB\xCC\xDD", 4),
                 from_hex("515A030200080102 0304AABBCCDDD05443"));
        QCOMPARE(ota_frame::build_data_frame(0, nullptr, 0),
                 from_hex("515A03020004000000 00B45443"));
        // Largest slice: the length field is 0xFFFF, the checksum wraps.
        const QByteArray slice(int(ota_frame::max_slice_size), char(0xFF));
        const QByteArray frame = ota_frame::build_data_frame(0, slice.constData(), 0xFFFB);
        QCOMPARE(frame.size(), 0xFFFF + 9);
        QCOMPARE(frame.mid(4, 6), from_hex("FFFF00000000"));
        QCOMPARE(frame.right(3),
                 from_hex("B35443")); // (0x51+0x5A+3+2+0xFF+0xFF+0xFFFB*0xFF) & 0xFF
        // It takes 68.3 s for the largest frame to cross a 9600-baud line at 10 bits a byte.
        QCOMPARE(serial_line::wire_ms(frame.size(), 9600), qint64(68275));
        quint8 status = 0xEE;
        QVERIFY(!ota_frame::status_byte(from_hex("515A03020000B05443"), &status));
        QVERIFY(ota_frame::status_byte(from_hex("515A030200020007B95443"), &status));
        QCOMPARE(status, quint8(0x00));
        bool ok = false;
        QCOMPARE(ota_frame::ba_to_u32(from_hex("80000001"), &ok), 2147483649u);
        QVERIFY(ok);
        QCOMPARE(ota_frame::ba_to_u32(from_hex("010203"), &ok), 0u);
        QVERIFY(!ok);
        QCOMPARE(ota_frame::ba_to_u16(from_hex("FFFE")), quint16(65534));
        QCOMPARE(ota_frame::ba_to_u16(from_hex("FF")), quint16(0));
        QCOMPARE(ota_frame::ba_sum(from_hex("FFFFFF")), 765u);
    }
    void checks_run_in_their_order_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("result");
        using r = ota_frame::check_result;
        // Each fault after the first in a row is one that a later check would find.
        QTest::newRow("acknowledgement") << from_hex("515A0302000101B25443") << int(r::accepted);
        QTest::newRow("start response")
            << from_hex("515A0301000400000100B45443") << int(r::accepted);
        QTest::newRow("end response") << from_hex("515A0303000101B35443") << int(r::accepted);
        QTest::newRow("no data bytes") << from_hex("515A03020000B05443") << int(r::accepted);
        QTest::newRow("head") << from_hex("5158030200 0101B25443") << int(r::bad_head_or_tail);
        QTest::newRow("tail") << from_hex("515A0302000101B25444") << int(r::bad_head_or_tail);
        QTest::newRow("head, checksum")
            << from_hex("715A0302000101B05443") << int(r::bad_head_or_tail);
        QTest::newRow("checksum") << from_hex("515A0302000101B05443") << int(r::bad_checksum);
        QTest::newRow("checksum, type") << from_hex("515A0402000101B05443") << int(r::bad_checksum);
        QTest::newRow("type 0x04") << from_hex("515A0402000101B35443") << int(r::bad_type);
        QTest::newRow("type, command") << from_hex("515A0405000101B65443") << int(r::bad_type);
        QTest::newRow("command 0x05") << from_hex("515A0305000101B55443") << int(r::bad_command);
        QTest::newRow("command 0x00") << from_hex("515A0300000101B05443") << int(r::bad_command);
        QTest::newRow("empty") << from_hex("") << int(r::bad_head_or_tail);
        QTest::newRow("head and tail only") << from_hex("515A5443") << int(r::bad_head_or_tail);
        QTest::newRow("eight bytes") << from_hex("515A030200005443") << int(r::bad_head_or_tail);
    }
    void checks_run_in_their_order()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, result);
        QCOMPARE(int(ota_frame::check_received(frame)), result);
    }
    void chunks_data()
    {
        QTest::addColumn<frames>("chunks");
        QTest::addColumn<frames>("handed_on");
        QTest::addColumn<QByteArray>("left");
        const QByteArray ack = QByteArray::fromHex("515A0302000101B25443");
        const QByteArray end = ota_frame::build_end_frame();
        const auto row = [](const char *name, const frames &chunks, const frames &handed_on,
                            const QByteArray &left) {
            QTest::newRow(name) << chunks << handed_on << left;
        };
        row("two frames in one chunk", {ack + end}, {ack, end}, "");
        const QByteArray data = ota_frame::build_data_frame(0x10, "0123456789abcdef", 16);
        row("split at the markers", {data.left(1), data.mid(1, data.size() - 2), data.right(1)},
            {data}, "");
        row("frame, then a head waiting for its tail", {ack + "QZ\x03"}, {ack}, "QZ\x03");
        row("noise before head", {"abc" + ack}, {ack}, "");
        row("stray tail, then a frame", {"xxTC" + ack, "y"}, {ack}, "y");
        row("stray head, one byte, frame", {"QZ!" + ack}, {ack}, "");
        row("head without tail", {"QZ\x03\x02"}, {}, "QZ\x03\x02");
        row("short fragment", {"QZ123TC"}, {}, "");
        row("eight bytes", {QByteArray::fromHex("515A030200005443")}, {}, "");
        row("length says more than there is", {QByteArray::fromHex("515A03020009010101B35443")}, {},
            "");
        const QByteArray bad_sum = QByteArray::fromHex("515A0302000101FF5443");
        row("bad checksum handed on", {bad_sum}, {bad_sum}, "");
        // A tail inside the data cuts the frame; its rest is a stray tail.
        row("marker inside data", {ota_frame::build_frame(ota_frame::command_data, "TC"), ack, "z"},
            {ack}, "z");
        // Past 4096 bytes the oldest 2048 go, or all but the newest 4096 after a large chunk.
        row("4096 bytes kept", {QByteArray(4096, 'a')}, {}, QByteArray(4096, 'a'));
        row("4097 trimmed", {QByteArray(4096, 'a'), "b"}, {}, QByteArray(2048, 'a') + 'b');
        row("large chunk", {QByteArray(4000, 'b'), QByteArray(2000, 'c') + QByteArray(4095, 'd')},
            {}, 'c' + QByteArray(4095, 'd'));
        row("burst with a frame at its end", {QByteArray(65536, 'n') + ack}, {ack}, "");
        // A head kept waiting for its tail goes with the trimmed bytes.
        row("waiting head trimmed",
            {"QZ" + QByteArray(4000, 'd'), QByteArray(200, 'e') + "TC", ack}, {ack}, "");
    }
    void chunks()
    {
        QFETCH(frames, chunks);
        QByteArray buffer;
        frames taken;
        for (const QByteArray &chunk : chunks) { // what each read does with it, minus the view
            buffer.append(chunk);
            frame_extractor::trim(buffer);
            int searches = 0; // every search consumes a marker, so the loop ends
            do {
                const QByteArray frame = frame_extractor::take_frame(buffer).frame;
                if (!frame.isEmpty())
                    taken << frame;
            } while (frame_extractor::may_hold_frame(buffer) && ++searches < 64);
            QVERIFY(searches < 64);
        }
        QTEST(taken, "handed_on");
        QTEST(buffer, "left");
    }
};

QTEST_APPLESS_MAIN(tst_ota_frame)
#include "tst_ota_frame.moc"
