// Text forms of bytes: the terminal lines and the hex send line.
#include "byte_text.h"
#include <QtTest>

Q_DECLARE_METATYPE(byte_text::hex_fault)

class tst_byte_text : public QObject
{
    Q_OBJECT

private slots:
    void hex_text_data()
    {
        using f = byte_text::hex_fault;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // read up to the fault
        QTest::addColumn<f>("fault");
        const auto row = [](const char *name, const QString &text, const QByteArray &bytes,
                            f fault = f::none) { QTest::newRow(name) << text << bytes << fault; };
        row("spaced pairs", "01 02 0a", QByteArray("\x01\x02\x0a", 3));
        row("no spaces", "1234", "\x12\x34");
        row("empty", "", "");
        row("mixed case", "aB Cd eF 7f 80", "\xab\xcd\xef\x7f\x80");
        row("line feeds skipped", "\n00\nff\n", QByteArray("\x00\xff", 2));
        row("odd digit", "123", "\x12", f::unpaired_last_digit);
        row("single digit", "A", "", f::unpaired_last_digit);
        row("lone digit, trailing blanks", "ABC \n ", "\xab", f::unpaired_last_digit);
        row("blank inside a pair", "1 2", "", f::blank_in_pair);
        row("line feed inside a pair", "12 3\n4", "\x12", f::blank_in_pair);
        row("letter beyond F", "0G", "", f::bad_character);
        row("carriage return", "\r01", "", f::bad_character);
        row("prefix", "0x12", "", f::bad_character);
        row("non-latin1", QString::fromUtf8("1中"), "", f::bad_character);
        row("stray final character", "12 z", "\x12", f::bad_character);
    }
    void hex_text()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(byte_text::hex_fault, fault);
        auto found = byte_text::hex_fault(-1);
        QCOMPARE(byte_text::hex_text_to_bytes(text, &found), bytes);
        QCOMPARE(found, fault);
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
