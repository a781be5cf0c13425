// Text forms of bytes: the terminal lines and the hex send line.
#include "byte_text.h"

#include <QtTest>

class tst_byte_text : public QObject
{
    Q_OBJECT

private slots:
    void hex_text_to_bytes_data();
    void hex_text_to_bytes();
    void hex_text_with_stray_characters_is_refused_data();
    void hex_text_with_stray_characters_is_refused();
    void byte_line_formats_every_byte();
    void coloured_paragraph_wraps_line_in_font_tag();
    void text_to_bytes_is_latin1_with_optional_cr_lf();
};

void tst_byte_text::hex_text_to_bytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("spaced pairs") << "01 02 0a" << QByteArray("\x01\x02\x0a", 3);
    QTest::newRow("odd digit dropped") << "123" << QByteArray("\x12", 1);
    QTest::newRow("spaces between pairs") << "12 34" << QByteArray("\x12\x34", 2);
    QTest::newRow("no spaces") << "1234" << QByteArray("\x12\x34", 2);
    QTest::newRow("single digit") << "A" << QByteArray();
    QTest::newRow("three digits") << "ABC" << QByteArray("\xab", 1);
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("mixed case") << "aB Cd eF" << QByteArray("\xab\xcd\xef", 3);
    QTest::newRow("line feeds skipped") << "\n00\nff\n" << QByteArray("\x00\xff", 2);
    QTest::newRow("only blanks") << "  \n " << QByteArray();
    QTest::newRow("all byte values edge") << "00 7F 80 FF" << QByteArray("\x00\x7f\x80\xff", 4);
}

void tst_byte_text::hex_text_to_bytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    bool ok = false;
    QCOMPARE(byte_text::hex_text_to_bytes(text, &ok), bytes);
    QVERIFY(ok);
}

void tst_byte_text::hex_text_with_stray_characters_is_refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("blank inside a pair") << "1 2";
    QTest::newRow("letter beyond F") << "0G";
    QTest::newRow("carriage return") << "\r01";
    QTest::newRow("tab") << "01\t02";
    QTest::newRow("separator") << "01,02";
    QTest::newRow("prefix") << "0x12";
    QTest::newRow("non-latin1") << QString::fromUtf8("1中");
    QTest::newRow("stray final character") << "12 z";
}

void tst_byte_text::hex_text_with_stray_characters_is_refused()
{
    QFETCH(QString, text);
    bool ok = true;
    QCOMPARE(byte_text::hex_text_to_bytes(text, &ok), QByteArray());
    QVERIFY(!ok);
}

void tst_byte_text::byte_line_formats_every_byte()
{
    QCOMPARE(byte_text::byte_line(QStringLiteral("收: "), QByteArray("\x0a\xff", 2)),
             QStringLiteral("收: 0A FF "));
    QCOMPARE(byte_text::byte_line(QStringLiteral("发: "), QByteArray()), QStringLiteral("发: "));

    QByteArray all;
    QString expected = QStringLiteral("发: ");
    for (int value = 0; value < 256; ++value) {
        all.append(static_cast<char>(value));
        expected += QString::asprintf("%02X ", value);
    }
    QCOMPARE(byte_text::byte_line(QStringLiteral("发: "), all), expected);
}

void tst_byte_text::coloured_paragraph_wraps_line_in_font_tag()
{
    QCOMPARE(byte_text::coloured_paragraph(byte_text::sent_colour, QStringLiteral("发: 01 AB 0D ")),
             QStringLiteral("<font color=\"#0000ff\">发: 01 AB 0D </font> "));
    QCOMPARE(byte_text::coloured_paragraph(byte_text::received_colour, QStringLiteral("收: 0A ")),
             QStringLiteral("<font color=\"#FF0000\">收: 0A </font> "));
}

void tst_byte_text::text_to_bytes_is_latin1_with_optional_cr_lf()
{
    QCOMPARE(byte_text::text_to_bytes(QStringLiteral("AT"), true), QByteArray("AT\r\n"));
    QCOMPARE(byte_text::text_to_bytes(QStringLiteral("AT"), false), QByteArray("AT"));
    QCOMPARE(byte_text::text_to_bytes(QString(), false), QByteArray());
    // One byte per UTF-16 unit; anything outside Latin-1 becomes '?'.
    QCOMPARE(byte_text::text_to_bytes(QString::fromUtf8("é中\xF0\x9F\x98\x80"), false),
             QByteArray("\xe9???"));
}

QTEST_APPLESS_MAIN(tst_byte_text)
#include "tst_byte_text.moc"
