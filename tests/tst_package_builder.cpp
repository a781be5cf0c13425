// Golden bytes of the package build: header layout, check blocks, sums.
#include "body_source.h"
#include "header_info.h"
#include "package_builder.h"
#include "package_files.h"
#include "package_format.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray bytes_from_hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray counting_bytes(int count, int first = 1)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(first + i));
    return bytes;
}

// The body of a package built from `source` at check length `check_len`.
QByteArray body_of(const QByteArray &source, quint32 check_len)
{
    header_info_t header = default_header_info();
    header.check_len = check_len;
    QByteArray package;
    package_builder builder;
    if (!builder.build_header(header, package) || !builder.build_body(source, check_len, package))
        return QByteArray("refused");
    return package.mid(1024);
}

} // namespace

class tst_package_builder : public QObject
{
    Q_OBJECT

private slots:
    void default_header_bytes();
    void texts_are_latin1_by_code_unit();
    void worked_bodies_data();
    void worked_bodies();
    void neither_image_gives_1028_bytes();
    void block_runs_across_the_seam();
    void body_source_takes_sizes_from_the_files();
    void write_at_offset_fills_and_refuses();
    void header_refuses_overlong_or_mismatched_text_data();
    void header_refuses_overlong_or_mismatched_text();
    void zero_check_length_never_builds();
    void sums_wrap_at_16_bits();
};

void tst_package_builder::default_header_bytes()
{
    header_info_t header = default_header_info();
    header.boot_file_size = 0x01020304;
    header.app_file_size = 0xA0B0C0D0;
    QByteArray package;
    package_builder builder;
    QVERIFY(builder.build_header(header, package));
    QCOMPARE(package.size(), 1024);
    QCOMPARE(builder.new_bin_is_write_addr, 1024u);

    QCOMPARE(package.mid(0, 10), bytes_from_hex("000000064b3538545145"));
    QCOMPARE(package.mid(10, 54), QByteArray(54, char(0xFF)));
    QCOMPARE(package.mid(64, 11), bytes_from_hex("0009") + "v01.00.01");
    QCOMPARE(package.mid(75, 21), QByteArray(21, char(0xFF)));
    QCOMPARE(package.mid(96, 11), bytes_from_hex("0009") + "v01.00.01");
    QCOMPARE(package.mid(107, 29), QByteArray(29, char(0xFF)));
    QCOMPARE(package.mid(136, 12), bytes_from_hex("8a8a8a8a8a8a8a8a00000005"));
    QCOMPARE(package.mid(148, 860), QByteArray(860, char(0xFF)));
    QCOMPARE(package.mid(1008, 16),
             bytes_from_hex("01020304ffffffffa0b0c0d0ff55") +
                 package_format::u16_to_be(package_format::byte_sum(package.left(1022))));

    // Sum of the defaults with both sizes 0, worked out independently.
    header.boot_file_size = 0;
    header.app_file_size = 0;
    package.clear();
    builder.reset();
    QVERIFY(builder.build_header(header, package));
    QCOMPARE(package.mid(1022), bytes_from_hex("cf83"));
}

void tst_package_builder::texts_are_latin1_by_code_unit()
{
    header_info_t header = default_header_info();
    // U+00E9 is Latin-1; U+4E2D and the surrogate pair of U+1F600 are not.
    header.product_info = QString::fromUtf8("\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
    header.product_info_len = quint32(header.product_info.size());
    header.boot_version.clear();
    header.boot_version_len = 0;
    QCOMPARE(header.product_info_len, 4u);

    QByteArray package;
    package_builder builder;
    QVERIFY(builder.build_header(header, package));
    QCOMPARE(package.mid(0, 9), bytes_from_hex("00000004e93f3f3fff"));
    // An empty text leaves its whole slot as fill.
    QCOMPARE(package.mid(64, 32), bytes_from_hex("0000") + QByteArray(30, char(0xFF)));
}

void tst_package_builder::worked_bodies_data()
{
    QTest::addColumn<int>("source_size");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("12 bytes") << 12 << bytes_from_hex("0102030405000f060708090a00280b0c0017");
    QTest::newRow("10 bytes ends with an empty block")
        << 10 << bytes_from_hex("0102030405000f060708090a00280000");
    QTest::newRow("empty source") << 0 << bytes_from_hex("0000");
    QTest::newRow("shorter than a block") << 3 << bytes_from_hex("0102030006");
}

void tst_package_builder::worked_bodies()
{
    QFETCH(int, source_size);
    QFETCH(QByteArray, body);
    QCOMPARE(body_of(counting_bytes(source_size), 5), body);
}

void tst_package_builder::neither_image_gives_1028_bytes()
{
    header_info_t header = default_header_info();
    header.boot_upgrade_flag = upgrade_flag_no;
    header.app_upgrade_flag = upgrade_flag_no;
    // Neither file exists: images that are not carried are never read.
    QByteArray source = "stale";
    const body_source_result read =
        read_body_source(header, QStringLiteral("/nonexistent/boot"), QString(), source);
    QCOMPARE(read.status, image_file::read_status::ok);
    QVERIFY(source.isEmpty());

    QByteArray package;
    QCOMPARE(build_package(header, source, package), build_status::ok);
    QCOMPARE(package.size(), 1028);
    QCOMPARE(package.mid(136, 8), bytes_from_hex("5a5a5a5a5a5a5a5a"));
    QCOMPARE(package.mid(1022), bytes_from_hex("ce030000ced4"));
}

void tst_package_builder::block_runs_across_the_seam()
{
    QTemporaryDir dir;
    const QString boot = dir.filePath("boot.bin");
    const QString app = dir.filePath("app.bin");
    QVERIFY(package_files::write(boot, bytes_from_hex("010203040506")));
    QVERIFY(package_files::write(app, bytes_from_hex("a0a1a2")));
    header_info_t header = default_header_info();
    header.check_len = 4;
    QByteArray source;
    QCOMPARE(read_body_source(header, boot, app, source).status, image_file::read_status::ok);
    QByteArray package;
    QCOMPARE(build_package(header, source, package), build_status::ok);
    // Block 1 holds the last two boot bytes and the first two app bytes.
    QCOMPARE(package.mid(1024, 15), bytes_from_hex("01020304000a0506a0a1014ca200a2"));
    QCOMPARE(package_format::be_to_u16(package.constData() + 1039),
             package_format::byte_sum(package.left(1039)));
    QCOMPARE(package.mid(1008, 4), bytes_from_hex("00000006"));
    QCOMPARE(package.mid(1016, 4), bytes_from_hex("00000003"));
}

void tst_package_builder::body_source_takes_sizes_from_the_files()
{
    QTemporaryDir dir;
    const QString boot = dir.filePath("boot.bin");
    const QString app = dir.filePath("app.bin");
    QVERIFY(package_files::write(boot, package_files::counting(7)));
    QVERIFY(package_files::write(app, package_files::counting(3)));
    header_info_t header = default_header_info();
    header.boot_file_size = 1000; // measured when chosen, before a rebuild
    header.app_file_size = 2000;
    header.app_upgrade_flag = upgrade_flag_no;
    QByteArray source;
    QCOMPARE(read_body_source(header, boot, app, source).status, image_file::read_status::ok);
    QCOMPARE(source, package_files::counting(7));
    QCOMPARE(header.boot_file_size, 7u);
    // A size that is not carried stays as it was measured.
    QCOMPARE(header.app_file_size, 2000u);

    // The first image that cannot be read stops it, naming the file.
    header.app_upgrade_flag = upgrade_flag_yes;
    const body_source_result failed =
        read_body_source(header, boot, dir.filePath("missing.bin"), source);
    QCOMPARE(failed.status, image_file::read_status::open_failed);
    QCOMPARE(failed.path, dir.filePath("missing.bin"));
    QVERIFY(!failed.error_text.isEmpty());
}

void tst_package_builder::write_at_offset_fills_and_refuses()
{
    package_builder builder;
    QByteArray package;
    QVERIFY(builder.write_at_offset(2, "ab", package));
    QCOMPARE(package, bytes_from_hex("ffff6162"));
    QCOMPARE(builder.new_bin_is_write_addr, 4u);

    QTest::ignoreMessage(QtDebugMsg, "offset_addr = 3");
    QTest::ignoreMessage(QtDebugMsg, "new_bin_is_write_addr = 4");
    QTest::ignoreMessage(QtDebugMsg, "offset_addr < new_bin_is_write_addr");
    QVERIFY(!builder.write_at_offset(3, "zz", package));
    QCOMPARE(package, bytes_from_hex("ffff6162"));
    QCOMPARE(builder.new_bin_is_write_addr, 4u);

    QVERIFY(builder.write_at_offset(4, "c", package));
    QCOMPARE(package, bytes_from_hex("ffff616263"));
}

void tst_package_builder::header_refuses_overlong_or_mismatched_text_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("product 60") << "product" << 60 << true;
    QTest::newRow("product 61") << "product" << 61 << false;
    QTest::newRow("boot 30") << "boot" << 30 << true;
    QTest::newRow("boot 31") << "boot" << 31 << false;
    QTest::newRow("app 38") << "app" << 38 << true;
    QTest::newRow("app 39") << "app" << 39 << false;
}

void tst_package_builder::header_refuses_overlong_or_mismatched_text()
{
    QFETCH(QString, field);
    QFETCH(int, length);
    QFETCH(bool, accepted);
    header_info_t header = default_header_info();
    const QString text(length, QLatin1Char('w'));
    if (field == "product") {
        header.product_info = text;
        header.product_info_len = quint32(length);
    } else if (field == "boot") {
        header.boot_version = text;
        header.boot_version_len = quint16(length);
    } else {
        header.app_version = text;
        header.app_version_len = quint16(length);
    }
    QByteArray package;
    package_builder builder;
    QCOMPARE(builder.build_header(header, package), accepted);
    QCOMPARE(package.size(), accepted ? 1024 : 0);
    QCOMPARE(build_package(header, QByteArray(), package),
             accepted ? build_status::ok : build_status::header_refused);

    // A length field that disagrees with its text would misplace the text.
    header = default_header_info();
    header.boot_version_len = 8;
    package.clear();
    builder.reset();
    QVERIFY(!builder.build_header(header, package));
    QVERIFY(package.isEmpty());
}

void tst_package_builder::zero_check_length_never_builds()
{
    header_info_t header = default_header_info();
    header.check_len = 0;
    QByteArray package;
    QCOMPARE(build_package(header, counting_bytes(10), package), build_status::check_len_zero);
    QVERIFY(package.isEmpty());

    package_builder builder;
    QVERIFY(builder.build_header(header, package));
    QVERIFY(!builder.build_body(counting_bytes(10), 0, package));
    QCOMPARE(package.size(), 1024);
    // A body without its header is refused as well.
    QByteArray headless;
    package_builder fresh;
    QVERIFY(!fresh.build_body(counting_bytes(10), 5, headless));
    QVERIFY(headless.isEmpty());
}

void tst_package_builder::sums_wrap_at_16_bits()
{
    QCOMPARE(package_format::byte_sum(QByteArray()), quint16(0));
    // 258 bytes of 0xFF sum to 65790 = 0x100FE.
    QCOMPARE(package_format::byte_sum(QByteArray(258, char(0xFF))), quint16(0x00FE));
    QCOMPARE(package_format::u32_to_be(0x8A8B8C8D), bytes_from_hex("8a8b8c8d"));
    QCOMPARE(package_format::u16_to_be(0xBEEF), bytes_from_hex("beef"));
    QCOMPARE(package_format::be_to_u32("\xde\xad\xbe\xef"), 0xDEADBEEFu);
}

QTEST_GUILESS_MAIN(tst_package_builder)
#include "tst_package_builder.moc"
