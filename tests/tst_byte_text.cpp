// Text forms of bytes: the terminal lines and the hex send line.
#include "byte_text.h"
#include <QtTest>

class tst_byte_text : public QObject
{
    Q_OBJECT

private slots:
    void hex_text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // null: refused
        QTest::newRow("spaced pairs") << "01 02 0a" << QByteArray("\x01\x02\x0a", 3);
        QTest::newRow("no spaces") << "1234" << QByteArray("\x12\x34", 2);
        QTest::newRow("odd digit dropped") << "123" << QByteArray("\x12", 1);
        QTest::newRow("single digit") << "A" << QByteArray("");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("mixed case") << "aB Cd eF 7f 80" << QByteArray("\xab\xcd\xef\x7f\x80", 5);
        QTest::newRow("line feeds skipped") << "\n00\nff\n" << QByteArray("\x00\xff", 2);
        QTest::newRow("blank inside a pair") << "1 2" << QByteArray();
        QTest::newRow("letter beyond F") << "0G" << QByteArray();
        QTest::newRow("carriage return") << "\r01" << QByteArray();
        QTest::newRow("prefix") << "0x12" << QByteArray();
        QTest::newRow("non-latin1") << QString::fromUtf8("1中") << QByteArray();
        QTest::newRow("stray final character") << "12 z" << QByteArray();
    }
    void hex_text()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        bool ok = bytes.isNull();
        QCOMPARE(byte_text::hex_text_to_bytes(text, &ok), bytes.isNull() ? QByteArray("") : bytes);
        QCOMPARE(ok, !bytes.isNull());
    }
    void lines_and_text()
    {
        QByteArray all;
        QString line = QStringLiteral("发: ");
        for (int value = 0; value < 256; ++value)
            all.append(char(value)), line += QString::asprintf("%02X ", value);
        QCOMPARE(byte_text::byte_line(QStringLiteral("发: "), all), line);
        // The paragraph; its colours and the line end are checked where the window shows them.
        QCOMPARE(byte_text::coloured_paragraph("#0000ff", "发: 01 "),
                 QStringLiteral("<font color=\"#0000ff\">发: 01 </font> "));
        // One byte per UTF-16 unit; anything outside Latin-1 becomes '?'.
        QCOMPARE(byte_text::text_to_bytes(QString::fromUtf8("é中\xF0\x9F\x98\x80"), false),
                 QByteArray("\xe9???"));
    }
};

QTEST_APPLESS_MAIN(tst_byte_text)
#include "tst_byte_text.moc"
