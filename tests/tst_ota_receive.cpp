// The receive path's frame extraction: frames cut from chunk sequences, and
// the buffer's trimming. The window's read_data is driven in tst_serial_line.
#include "frame_extractor.h"
#include "ota_frame.h"

#include <QtTest>

using frames = QList<QByteArray>;
Q_DECLARE_METATYPE(frames)

class tst_ota_receive : public QObject
{
    Q_OBJECT

private slots:
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
        row("one frame per chunk", {ack + end}, {ack}, end);
        const QByteArray data = ota_frame::build_data_frame(0x10, "0123456789abcdef", 16);
        row("split at the markers", {data.left(1), data.mid(1, data.size() - 2), data.right(1)},
            {data}, "");
        row("second frame with the next byte", {ack + end, "x"}, {ack, end}, "x");
        row("noise before head", {"abc" + ack}, {ack}, "");
        row("stray tail first", {"xxTC" + ack}, {}, ack);
        row("stray tail, frame later", {"xxTC" + ack, "y"}, {ack}, "y");
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
        // Trimmed once per chunk, so a large chunk leaves the buffer above the threshold.
        row("4096 bytes kept", {QByteArray(4096, 'a')}, {}, QByteArray(4096, 'a'));
        row("4097 trimmed", {QByteArray(4096, 'a'), "b"}, {}, QByteArray(2048, 'a') + 'b');
        row("large chunk", {QByteArray(10000, 'c')}, {}, QByteArray(10000 - 2048, 'c'));
        // A head kept waiting for its tail goes with the trimmed bytes.
        row("waiting head trimmed",
            {"QZ" + QByteArray(4000, 'd'), QByteArray(200, 'e') + "TC", ack}, {}, ack);
    }
    void chunks()
    {
        QFETCH(frames, chunks);
        QByteArray buffer;
        frames taken;
        for (const QByteArray &chunk : chunks) { // what read_data does with each, minus the view
            buffer.append(chunk);
            frame_extractor::trim(buffer);
            const QByteArray frame = frame_extractor::take_frame(buffer).frame;
            if (!frame.isEmpty())
                taken << frame;
        }
        QTEST(taken, "handed_on");
        QTEST(buffer, "left");
    }
};

QTEST_APPLESS_MAIN(tst_ota_receive)
#include "tst_ota_receive.moc"
