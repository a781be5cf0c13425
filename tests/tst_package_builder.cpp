// The package format without a window: header bytes, bodies against a plain
// byte-at-a-time builder, the reader's checks, the hex dump.
#include "hex_dump.h"
#include "image_file.h"
#include "package_builder.h"
#include "package_file.h"
#include "package_files.h"
#include "package_format.h"
#include "package_reader.h"

#include <QtTest>

using namespace package_format;

namespace {

const auto from_hex = [](const char *text) { return QByteArray::fromHex(text); };

// The body as the format describes it: blocks of check_len bytes, each with
// its 16-bit big-endian sum, the last one holding the rest (maybe nothing).
QByteArray plain_body(const QByteArray &source, int check_len)
{
    QByteArray body;
    for (int pos = 0; pos <= source.size(); pos += check_len) {
        const QByteArray block = source.mid(pos, check_len);
        quint16 sum = 0;
        for (const char c : block)
            sum += quint8(c);
        body += block + char(sum >> 8) + char(sum & 0xFF);
    }
    return body;
}

// The package with header bytes replaced and the header sum made to fit.
QByteArray resealed(QByteArray package, int offset, const QByteArray &bytes)
{
    package.replace(offset, bytes.size(), bytes);
    return package.replace(1022, 2, big_endian::u16(byte_sum(package.left(1022))));
}

QByteArray flipped(QByteArray bytes, int at)
{
    bytes[at] = char(bytes[at] ^ 0x10);
    return bytes;
}

} // namespace

class tst_package_builder : public QObject
{
    Q_OBJECT

private slots:
    void header_bytes()
    {
        header_info_t header = default_header_info();
        header.boot_file_size = 0x01020304;
        header.app_file_size = 0xA0B0C0D0;
        QByteArray package;
        package_builder builder;
        QVERIFY(builder.build_header(header, package));
        QCOMPARE(builder.new_bin_is_write_addr, 1024u);
        const QByteArray ff(1024, char(0xFF));
        QCOMPARE(package.left(148), from_hex("000000064b3538545145") + ff.left(54) +
                                        from_hex("0009") + "v01.00.01" + ff.left(21) +
                                        from_hex("0009") + "v01.00.01" + ff.left(29) +
                                        from_hex("8a8a8a8a8a8a8a8a00000005"));
        // Header sum 0xcf83 with both sizes 0.
        QCOMPARE(package.mid(148), ff.left(860) + from_hex("01020304ffffffffa0b0c0d0ff55d26d"));

        // Texts go one byte per UTF-16 unit: U+00E9 as is; U+4E2D or half of U+1F600 would
        // come out as '?', so such a text is refused. An empty text leaves its slot as fill.
        header.boot_version.clear();
        header.boot_version_len = 0;
        for (const char *text : {"\xc3\xa9\xe4\xb8\xad", "\xc3\xa9\xf0\x9f\x98\x80", "\xc3\xa9"}) {
            header.product_info = QString::fromUtf8(text);
            header.product_info_len = quint32(header.product_info.size());
            package.clear();
            builder.reset();
            QCOMPARE(builder.build_header(header, package), header.product_info_len == 1);
        }
        QCOMPARE(package.left(6), from_hex("00000001e9ff"));
        QCOMPARE(package.mid(64, 32), from_hex("0000") + ff.left(30));

        // Only forward: a write below the write position is refused.
        QByteArray bytes;
        builder.reset();
        QVERIFY(builder.write_at_offset(2, "ab", bytes));
        QVERIFY(!builder.write_at_offset(3, "zz", bytes));
        QVERIFY(builder.write_at_offset(4, "c", bytes));
        QCOMPARE(bytes, from_hex("ffff616263"));

        // Refused before a byte is written: a text longer than its slot or whose length field
        // disagrees with it, a check length of 0; a body never goes without a header.
        header = default_header_info();
        header.app_version = QString(38, 'a'), header.app_version_len = 38; // a full slot fits
        QCOMPARE(build_package(header, "12345678", package = QByteArray()), build_status::ok);
        header.app_version += 'a', header.app_version_len = 39;
        QCOMPARE(build_package(header, "1", package = QByteArray()), build_status::header_refused);
        QVERIFY(package.isEmpty());
        header = default_header_info();
        header.boot_version_len = 8;
        QVERIFY(!package_builder().build_header(header, package));
        header.boot_version_len = 9, header.check_len = 0;
        QCOMPARE(build_package(header, "1", package), build_status::check_len_zero);
        QVERIFY(package.isEmpty());
        QVERIFY(!package_builder().build_body("12345678", 5, package));
    }
    void bodies_data()
    {
        QTest::addColumn<quint32>("check_len");
        for (const quint32 check_len : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 16, 31, 32, 33, 64, 300})
            QTest::newRow(qPrintable(QString::number(check_len))) << check_len;
    }
    void bodies()
    {
        QFETCH(quint32, check_len);
        // The plain builder against bodies worked out by hand.
        QCOMPARE(plain_body(package_files::counting(12), 5) + plain_body("", 5),
                 from_hex("0102030405000f060708090a00280b0c00170000"));
        // Every size near the block and word edges, both images, either or none.
        for (int size = 0; size < 700; size += size < 80 ? 1 : 37) {
            header_info_t header = default_header_info();
            header.check_len = check_len;
            header.boot_upgrade_flag = size % 4 < 2 ? upgrade_flag_yes : upgrade_flag_no;
            header.app_upgrade_flag = size % 2 ? upgrade_flag_yes : upgrade_flag_no;
            header.boot_file_size = quint32(size / 3);
            header.app_file_size = quint32(size - size / 3);
            const QByteArray boot = package_files::random(size / 3, quint32(size));
            const QByteArray app = package_files::random(size - size / 3, check_len);
            const QByteArray source = (header.boot_upgrade_flag == upgrade_flag_yes ? boot : "") +
                                      (header.app_upgrade_flag == upgrade_flag_yes ? app : "");
            QByteArray package;
            QCOMPARE(build_package(header, source, package), build_status::ok);
            // The body, then the sum of all before it (one block as long as all).
            QCOMPARE(package,
                     plain_body(package.left(1024) + plain_body(source, check_len), 1 << 30));
            QVERIFY2(read_package(package).ok(), qPrintable(read_package(package).detail));
        }
    }
    void damage_is_named_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("check");
        QTest::addColumn<int>("block");
        // Boot 12 and app 10 bytes at check length 5: blocks of 5 + 2 bytes from
        // offset 1024, the last one (block 4) holds 2 image bytes.
        header_info_t header = default_header_info();
        header.boot_file_size = 12;
        header.app_file_size = 10;
        QByteArray good;
        QCOMPARE(build_package(header, package_files::random(22, 5), good), build_status::ok);
        const int end = good.size() - 2;
        auto row = [](const char *name, const QByteArray &package, package_check check,
                      int block = -1) { QTest::newRow(name) << package << int(check) << block; };
        row("intact", good, package_check::none);
        row("product text", flipped(good, 5), package_check::header_checksum);
        row("header marker", flipped(good, 1021), package_check::header_marker);
        row("first image byte", flipped(good, 1024), package_check::block_checksum, 0);
        row("byte in block 2", flipped(good, 1024 + 2 * 7 + 3), package_check::block_checksum, 2);
        row("sum of the last block", flipped(good, end - 1), package_check::block_checksum, 4);
        row("package sum", flipped(good, end), package_check::package_checksum);
        row("one byte short", good.left(end + 1), package_check::body_length);
        row("one byte too many", good + '\0', package_check::body_length);
        row("header only", good.left(1024), package_check::file_length);
        row("no block at all", good.left(1024) + good.right(2), package_check::file_length);
        // Damage behind a header sum made to fit.
        row("boot size 13", resealed(good, 1008, big_endian::u32(13)), package_check::body_length);
        row("app not carried", resealed(good, 140, big_endian::u32(upgrade_flag_no)),
            package_check::body_length);
        row("fill after check length", resealed(good, 148, from_hex("00")),
            package_check::header_fill);
        row("fill after boot size", resealed(good, 1012, from_hex("00")),
            package_check::header_fill);
        row("boot flag", resealed(good, 136, big_endian::u32(0x8A8A8A8B)),
            package_check::header_fields);
        row("app flag", resealed(good, 140, big_endian::u32(0)), package_check::header_fields);
        row("check length 0", resealed(good, 144, big_endian::u32(0)),
            package_check::header_fields);
        row("product 61", resealed(good, 0, big_endian::u32(61)), package_check::header_fields);
        row("app version 39", resealed(good, 96, big_endian::u16(39)),
            package_check::header_fields);
    }
    void damage_is_named()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, check);
        QFETCH(int, block);
        const package_report report = read_package(package);
        QCOMPARE(package_check_name(report.failed), package_check_name(package_check(check)));
        QCOMPARE(report.failed_block, qint64(block));
    }
    void stream_past_its_limit()
    {
        // A stream that never ends is refused as soon as it passes the limit.
        QByteArray target("kept");
        const image_file::read_outcome read = image_file::append_whole("/dev/zero", target, 70000);
        QCOMPARE(int(read.status), int(image_file::read_status::too_large));
        QCOMPARE(read.size, qint64(-1)); // no size known
        QCOMPARE(target, QByteArray("kept"));
    }
    void saving()
    {
        // A new file as any other program would make it; an old one replaced whole.
        QTemporaryDir dir;
        const QString made = dir.filePath("made.bin"), saved = dir.filePath("saved.bin");
        QVERIFY(package_files::write(made, "x"));
        QString error;
        QVERIFY(save_package_file(saved, "first", &error));
        QCOMPARE(QFileInfo(saved).permissions(), QFileInfo(made).permissions());
        QVERIFY(save_package_file(saved, "second package", &error));
        QCOMPARE(package_files::read(saved), QByteArray("second package"));
#ifdef Q_OS_UNIX
        // A link is written where it points and stays a link.
        const QString link = dir.filePath("link.bin");
        QVERIFY(QFile::link(saved, dir.filePath("first.bin")) &&
                QFile::link(dir.filePath("first.bin"), link));
        QVERIFY(save_package_file(link, "through the link", &error));
        QVERIFY(QFileInfo(link).isSymLink() && QFileInfo(dir.filePath("first.bin")).isSymLink());
        QCOMPARE(package_files::read(saved), QByteArray("through the link"));
        // Devices are written directly, and their failures said.
        QVERIFY(save_package_file("/dev/null", "gone", &error));
        QVERIFY(!save_package_file("/dev/full", "too much", &error) && !error.isEmpty());
        QVERIFY(QFileInfo::exists("/dev/full"));
#endif
        // No temporary file left beside it.
        QCOMPARE(QDir(dir.path()).entryList({"saved*"}, QDir::Files | QDir::Hidden),
                 QStringList{"saved.bin"});
    }
    void hex_dump_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("dump");
        const QString line = "00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  "
                             "10 11 12 13 14 15 16 17  18 19 1A 1B 1C 1D 1E 1F\n";
        QTest::newRow("empty") << 0 << QString();
        QTest::newRow("one byte") << 1 << "00";
        QTest::newRow("8 bytes end in one space") << 8 << "00 01 02 03 04 05 06 07 ";
        QTest::newRow("9 bytes") << 9 << "00 01 02 03 04 05 06 07  08";
        QTest::newRow("32 bytes end the line") << 32 << line;
        QTest::newRow("33 bytes") << 33 << line + "20";
        QTest::newRow("2049 bytes: 64 lines, an empty one, one byte") << 2049 << QString();
    }
    void hex_dump()
    {
        QFETCH(int, count);
        QFETCH(QString, dump);
        const QString text = hex_dump_text(package_files::counting(count, 0));
        if (count < 2048)
            QCOMPARE(text, dump);
        else // 64 full lines, an empty one, one byte
            QVERIFY2(text.count('\n') == 65 && text.endsWith("FC FD FE FF\n\n00"),
                     qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(tst_package_builder)
#include "tst_package_builder.moc"
