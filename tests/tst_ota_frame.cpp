// The OTA frame codec: frames byte for byte, the checks on received frames in their order, and
// the byte-array conversions.
#include "ota_frame.h"
#include <QtTest>

static const auto from_hex = [](const char *text) { return QByteArray::fromHex(text); };

class tst_ota_frame : public QObject
{
    Q_OBJECT

private slots:
    void frames_built_and_read();
    void checks_run_in_their_order_data();
    void checks_run_in_their_order();
};

void tst_ota_frame::frames_built_and_read()
{
    QCOMPARE(ota_frame::build_end_frame(), from_hex("515A0303000101B35443"));
    QCOMPARE(ota_frame::build_start_frame(1000), from_hex("515A03010004000003E89E5443"));
    QCOMPARE(ota_frame::build_start_frame(0xA1B2C3D4).mid(6, 4), from_hex("A1B2C3D4"));
    QCOMPARE(ota_frame::build_frame(ota_frame::command_start, from_hex("00000100")),
             from_hex("515A0301000400000100B45443"));
    QCOMPARE(ota_frame::build_data_frame(0x01020304, "\xAA\xBB\xCC\xDD", 4),
             from_hex("515A030200080102 0304AABBCCDDD05443"));
    QCOMPARE(ota_frame::build_data_frame(0, nullptr, 0), from_hex("515A03020004000000 00B45443"));
    // Largest slice: the length field is 0xFFFF, the checksum wraps.
    const QByteArray slice(int(ota_frame::max_slice_size), char(0xFF));
    const QByteArray frame = ota_frame::build_data_frame(0, slice.constData(), 0xFFFB);
    QCOMPARE(frame.size(), 0xFFFF + 9);
    QCOMPARE(frame.mid(4, 6), from_hex("FFFF00000000"));
    QCOMPARE(frame.right(3), from_hex("B35443")); // (0x51+0x5A+3+2+0xFF+0xFF+0xFFFB*0xFF) & 0xFF
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

void tst_ota_frame::checks_run_in_their_order_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("result");
    using r = ota_frame::check_result;
    // Each fault after the first in a row is one that a later check would find.
    QTest::newRow("acknowledgement") << from_hex("515A0302000101B25443") << int(r::accepted);
    QTest::newRow("start response") << from_hex("515A0301000400000100B45443") << int(r::accepted);
    QTest::newRow("end response") << from_hex("515A0303000101B35443") << int(r::accepted);
    QTest::newRow("no data bytes") << from_hex("515A03020000B05443") << int(r::accepted);
    QTest::newRow("head") << from_hex("5158030200 0101B25443") << int(r::bad_head_or_tail);
    QTest::newRow("tail") << from_hex("515A0302000101B25444") << int(r::bad_head_or_tail);
    QTest::newRow("head, checksum") << from_hex("715A0302000101B05443") << int(r::bad_head_or_tail);
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

void tst_ota_frame::checks_run_in_their_order()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, result);
    QCOMPARE(int(ota_frame::check_received(frame)), result);
}

QTEST_APPLESS_MAIN(tst_ota_frame)
#include "tst_ota_frame.moc"
