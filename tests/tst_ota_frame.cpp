// The OTA frame codec: frames byte for byte, the checks on received frames
// in their order, and the byte-array conversions.
#include "ota_frame.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A frame as the device would build it, with a correct checksum.
QByteArray device_frame(quint8 type, quint8 command, const QByteArray &data)
{
    QByteArray frame = ota_frame::build_frame(command, data);
    frame[2] = char(type);
    frame[frame.size() - 3] = char(ota_frame::ba_sum(frame.left(frame.size() - 3)));
    return frame;
}

} // namespace

class tst_ota_frame : public QObject
{
    Q_OBJECT

private slots:
    void frames_built();
    void checks_run_in_their_order_data();
    void checks_run_in_their_order();
    void frames_read();
};

void tst_ota_frame::frames_built()
{
    QCOMPARE(ota_frame::build_end_frame(), hex("515A0303000101B35443"));
    QCOMPARE(ota_frame::build_start_frame(1000), hex("515A03010004000003E89E5443"));
    QCOMPARE(ota_frame::build_start_frame(0xA1B2C3D4).mid(6, 4), hex("A1B2C3D4"));
    QCOMPARE(ota_frame::build_frame(ota_frame::command_start, hex("00000100")),
             hex("515A0301000400000100B45443"));
    QCOMPARE(ota_frame::build_data_frame(0x01020304, "\xAA\xBB\xCC\xDD", 4),
             hex("515A030200080102 0304AABBCCDDD05443"));
    QCOMPARE(ota_frame::build_data_frame(0, nullptr, 0), hex("515A03020004000000 00B45443"));
    // Largest slice: the length field is 0xFFFF, the checksum wraps.
    const QByteArray slice(int(ota_frame::max_slice_size), char(0xFF));
    const QByteArray frame = ota_frame::build_data_frame(0, slice.constData(), 0xFFFB);
    QCOMPARE(frame.size(), 0xFFFF + 9);
    QCOMPARE(frame.mid(4, 6), hex("FFFF00000000"));
    QCOMPARE(frame.right(3), hex("B35443")); // (0x51+0x5A+3+2+0xFF+0xFF+0xFFFB*0xFF) & 0xFF
}

void tst_ota_frame::checks_run_in_their_order_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("result");
    using r = ota_frame::check_result;

    const QByteArray ack = hex("515A0302000101B25443");
    QByteArray wrong_head = ack;
    wrong_head[1] = 'X';
    QByteArray wrong_tail = ack;
    wrong_tail[9] = 'D';
    QByteArray wrong_sum = ack;
    wrong_sum[7] = char(0xB0);
    // Bad type and a bad checksum: the checksum decides first.
    QByteArray wrong_sum_and_type = wrong_sum;
    wrong_sum_and_type[2] = 0x04;
    // Bad head and a bad checksum: the head decides first.
    QByteArray wrong_head_and_sum = wrong_sum;
    wrong_head_and_sum[0] = 'q';

    QTest::newRow("acknowledgement") << ack << int(r::accepted);
    QTest::newRow("start response") << hex("515A0301000400000100B45443") << int(r::accepted);
    QTest::newRow("end response") << hex("515A0303000101B35443") << int(r::accepted);
    QTest::newRow("head") << wrong_head << int(r::bad_head_or_tail);
    QTest::newRow("tail") << wrong_tail << int(r::bad_head_or_tail);
    QTest::newRow("head before checksum") << wrong_head_and_sum << int(r::bad_head_or_tail);
    QTest::newRow("checksum") << wrong_sum << int(r::bad_checksum);
    QTest::newRow("checksum before type") << wrong_sum_and_type << int(r::bad_checksum);
    QTest::newRow("type 0x04") << device_frame(0x04, 0x02, hex("01")) << int(r::bad_type);
    QTest::newRow("type before command") << device_frame(0x04, 0x05, hex("01")) << int(r::bad_type);
    QTest::newRow("command 0x05") << device_frame(0x03, 0x05, hex("01")) << int(r::bad_command);
    QTest::newRow("command 0x00") << device_frame(0x03, 0x00, hex("01")) << int(r::bad_command);
    QTest::newRow("empty") << QByteArray() << int(r::bad_head_or_tail);
    QTest::newRow("head and tail only") << QByteArray("QZTC") << int(r::bad_head_or_tail);
    QTest::newRow("eight bytes") << hex("515A030200005443") << int(r::bad_head_or_tail);
    QTest::newRow("no data bytes") << hex("515A030200 00B05443") << int(r::accepted);
}

void tst_ota_frame::checks_run_in_their_order()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, result);
    QCOMPARE(int(ota_frame::check_received(frame)), result);
}

void tst_ota_frame::frames_read()
{
    quint8 status = 0xEE;
    QVERIFY(!ota_frame::status_byte(hex("515A03020000B05443"), &status));
    QVERIFY(ota_frame::status_byte(hex("515A030200020007B95443"), &status));
    QCOMPARE(status, quint8(0x00));
    bool ok = false;
    QCOMPARE(ota_frame::ba_to_u32(hex("80000001"), &ok), 2147483649u);
    QVERIFY(ok);
    QCOMPARE(ota_frame::ba_to_u32(hex("010203"), &ok), 0u);
    QVERIFY(!ok);
    QCOMPARE(ota_frame::ba_to_u16(hex("FFFE")), quint16(65534));
    QCOMPARE(ota_frame::ba_to_u16(hex("FF")), quint16(0));
    QCOMPARE(ota_frame::ba_sum(hex("FFFFFF")), 765u);
    // Image bytes holding both markers do not cut the frame short.
    const QByteArray data_frame = ota_frame::build_data_frame(0, "TCQZ", 4);
    const QByteArray end_frame = ota_frame::build_end_frame();
    QByteArray stream = data_frame + end_frame.left(5);
    QCOMPARE(ota_frame::take_frame_by_length(stream), data_frame);
    QCOMPARE(ota_frame::take_frame_by_length(stream), QByteArray());
    stream += end_frame.mid(5);
    QCOMPARE(ota_frame::take_frame_by_length(stream), end_frame);
    QVERIFY(stream.isEmpty());
}

QTEST_APPLESS_MAIN(tst_ota_frame)
#include "tst_ota_frame.moc"
