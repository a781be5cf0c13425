// Layout of the package maker's hex dump.
#include "hex_dump.h"

#include <QtTest>

namespace {

QByteArray counting_bytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i));
    return bytes;
}

// One full line of 32 bytes starting at `first`, without its line break.
QString full_line(int first)
{
    QStringList groups;
    for (int group = 0; group < 4; ++group) {
        QStringList pairs;
        for (int i = 0; i < 8; ++i)
            pairs << QStringLiteral("%1")
                         .arg((first + group * 8 + i) & 0xFF, 2, 16, QLatin1Char('0'))
                         .toUpper();
        groups << pairs.join(QLatin1Char(' '));
    }
    return groups.join(QStringLiteral("  "));
}

} // namespace

class tst_package_hex_dump : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void blank_line_after_every_2048_bytes();
    void digits_are_upper_case();
};

void tst_package_hex_dump::layout_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("dump");
    QTest::newRow("empty") << 0 << QString();
    QTest::newRow("one byte") << 1 << QStringLiteral("00");
    QTest::newRow("8 bytes end in one space") << 8 << QStringLiteral("00 01 02 03 04 05 06 07 ");
    QTest::newRow("9 bytes") << 9 << QStringLiteral("00 01 02 03 04 05 06 07  08");
    QTest::newRow("16 bytes") << 16
                              << QStringLiteral(
                                     "00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F ");
    QTest::newRow("32 bytes end the line") << 32 << full_line(0) + QLatin1Char('\n');
    QTest::newRow("33 bytes") << 33 << full_line(0) + QStringLiteral("\n20");
    QTest::newRow("64 bytes") << 64
                              << full_line(0) + QLatin1Char('\n') + full_line(32) +
                                     QLatin1Char('\n');
}

void tst_package_hex_dump::layout()
{
    QFETCH(int, count);
    QFETCH(QString, dump);
    QCOMPARE(hex_dump_text(counting_bytes(count)), dump);
}

void tst_package_hex_dump::blank_line_after_every_2048_bytes()
{
    const QString dump = hex_dump_text(counting_bytes(2049));
    const QStringList lines = dump.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 66);
    for (int line = 0; line < 64; ++line)
        QCOMPARE(lines[line], full_line(line * 32));
    QCOMPARE(lines[64], QString());
    QCOMPARE(lines[65], QStringLiteral("00")); // byte 2048 is 0x800 & 0xFF

    const QStringList twice = hex_dump_text(counting_bytes(4096)).split(QLatin1Char('\n'));
    QCOMPARE(twice.size(), 64 + 1 + 64 + 2);
    QCOMPARE(twice[64], QString());
    QCOMPARE(twice[65], full_line(0));
    QCOMPARE(twice[129], QString());
    QCOMPARE(twice[130], QString());
}

void tst_package_hex_dump::digits_are_upper_case()
{
    QCOMPARE(hex_dump_text(QByteArray::fromHex("abcdef0f")), QStringLiteral("AB CD EF 0F"));
}

QTEST_GUILESS_MAIN(tst_package_hex_dump)
#include "tst_package_hex_dump.moc"
