// Packages read back: clean round trips, and each kind of damage caught by
// the check that should catch it.
#include "header_info.h"
#include "package_builder.h"
#include "package_format.h"
#include "package_reader.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray random_bytes(QRandomGenerator &random, int count)
{
    QByteArray bytes(count, '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

struct built
{
    header_info_t header;
    QByteArray package;
};

built build(int boot_size, int app_size, quint32 check_len, quint32 boot_flag = upgrade_flag_yes,
            quint32 app_flag = upgrade_flag_yes)
{
    QRandomGenerator random(quint32(boot_size * 131 + app_size * 7 + check_len));
    built result;
    result.header = default_header_info();
    result.header.check_len = check_len;
    result.header.boot_upgrade_flag = boot_flag;
    result.header.app_upgrade_flag = app_flag;
    result.header.boot_file_size = quint32(boot_size);
    result.header.app_file_size = quint32(app_size);
    QByteArray source;
    if (boot_flag == upgrade_flag_yes)
        source += random_bytes(random, boot_size);
    if (app_flag == upgrade_flag_yes)
        source += random_bytes(random, app_size);
    if (build_package(result.header, source, result.package) != build_status::ok)
        result.package.clear();
    return result;
}

// The package with header bytes replaced and the header sum made to fit.
QByteArray resealed(QByteArray package, int offset, const QByteArray &bytes)
{
    package.replace(offset, bytes.size(), bytes);
    package.replace(1022, 2,
                    package_format::u16_to_be(package_format::byte_sum(package.left(1022))));
    return package;
}

QByteArray flipped(QByteArray bytes, int at)
{
    bytes[at] = char(bytes[at] ^ 0x10);
    return bytes;
}

} // namespace

class tst_package_reader : public QObject
{
    Q_OBJECT

private slots:
    void round_trips_read_back_clean();
    void damage_names_the_first_failed_check_data();
    void damage_names_the_first_failed_check();
    void header_fields_out_of_range();
};

void tst_package_reader::round_trips_read_back_clean()
{
    const int sizes[] = {0, 1, 4, 5, 6, 9, 10, 11, 255, 4096, 4097, 70001};
    // Every way the builder copies a block: a word at a time, words and a
    // rest, whole copies, and the plain loop near the end of the source.
    const quint32 check_lengths[] = {1, 2, 5, 7, 8, 9, 16, 31, 32, 255, 4096, 0x10000};
    const quint32 flags[][2] = {{upgrade_flag_yes, upgrade_flag_yes},
                                {upgrade_flag_yes, upgrade_flag_no},
                                {upgrade_flag_no, upgrade_flag_yes},
                                {upgrade_flag_no, upgrade_flag_no}};
    int packages = 0;
    for (const int boot_size : sizes) {
        for (const quint32 check_len : check_lengths) {
            for (const auto &flag : flags) {
                const int app_size = sizes[(boot_size + check_len) % std::size(sizes)];
                const built made = build(boot_size, app_size, check_len, flag[0], flag[1]);
                QVERIFY(!made.package.isEmpty());
                const package_report report = read_package(made.package);
                if (!report.ok())
                    QFAIL(qPrintable(package_check_name(report.failed) + ": " + report.detail));
                const qint64 carried = (flag[0] == upgrade_flag_yes ? boot_size : 0) +
                                       (flag[1] == upgrade_flag_yes ? app_size : 0);
                QCOMPARE(report.body_source_size, carried);
                QCOMPARE(report.block_count, carried / check_len + 1);
                QCOMPARE(made.package.size(), 1024 + carried + 2 * (carried / check_len + 1) + 2);
                QCOMPARE(report.header.product_info, made.header.product_info);
                QCOMPARE(report.header.boot_version, made.header.boot_version);
                QCOMPARE(report.header.app_version, made.header.app_version);
                QCOMPARE(report.header.check_len, check_len);
                QCOMPARE(report.header.boot_file_size, made.header.boot_file_size);
                QCOMPARE(report.header.app_file_size, made.header.app_file_size);
                ++packages;
            }
        }
    }
    QCOMPARE(packages, 12 * 12 * 4);
}

void tst_package_reader::damage_names_the_first_failed_check_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<int>("check");
    QTest::addColumn<int>("block");

    // Boot 12 and app 10 bytes at check length 5: blocks of 5 + 2 bytes from
    // offset 1024, the last one (block 4) holds 2 image bytes.
    const QByteArray good = build(12, 10, 5).package;
    QCOMPARE(good.size(), 1024 + 22 + 2 * 5 + 2);
    const int sum_at = good.size() - 2;
    auto row = [&](const char *name, const QByteArray &package, package_check check,
                   int block = -1) { QTest::newRow(name) << package << int(check) << block; };
    row("intact", good, package_check::none);
    row("product text", flipped(good, 5), package_check::header_checksum);
    row("check length field", flipped(good, 147), package_check::header_checksum);
    row("fill in the header", flipped(good, 500), package_check::header_checksum);
    row("header marker", flipped(good, 1021), package_check::header_marker);
    row("header sum", flipped(good, 1023), package_check::header_checksum);
    row("first image byte", flipped(good, 1024), package_check::block_checksum, 0);
    row("byte in block 2", flipped(good, 1024 + 2 * 7 + 3), package_check::block_checksum, 2);
    row("sum of block 1", flipped(good, 1024 + 7 + 5), package_check::block_checksum, 1);
    row("sum of the last block", flipped(good, sum_at - 1), package_check::block_checksum, 4);
    row("package sum", flipped(good, sum_at), package_check::package_checksum);
    row("package sum low byte", flipped(good, sum_at + 1), package_check::package_checksum);
    row("one byte short", good.left(good.size() - 1), package_check::body_length);
    row("cut inside the body", good.left(1030), package_check::body_length);
    row("one byte too many", good + '\0', package_check::body_length);
    row("header only", good.left(1024), package_check::file_length);
    row("empty file", QByteArray(), package_check::file_length);

    // Damage behind a header sum that was made to fit is still caught.
    row("boot size off by one, header sum fixed",
        resealed(good, 1008, package_format::u32_to_be(13)), package_check::body_length);
    row("fill replaced, header sum fixed", resealed(good, 1012, QByteArray(1, '\0')),
        package_check::header_fill);
}

void tst_package_reader::damage_names_the_first_failed_check()
{
    QFETCH(QByteArray, package);
    QFETCH(int, check);
    QFETCH(int, block);
    const package_report report = read_package(package);
    QCOMPARE(package_check_name(report.failed), package_check_name(package_check(check)));
    QCOMPARE(report.failed_block, qint64(block));
    QCOMPARE(report.ok(), check == int(package_check::none));
}

void tst_package_reader::header_fields_out_of_range()
{
    // Headers that the builder never writes, each with a fitting header sum.
    const QByteArray good = build(3, 4, 5).package;
    const struct
    {
        int offset;
        QByteArray bytes;
    } cases[] = {
        {136, package_format::u32_to_be(0x8A8A8A8B)}, // boot flag
        {140, package_format::u32_to_be(0)},          // app flag
        {144, package_format::u32_to_be(0)},          // check length
        {0, package_format::u32_to_be(61)},           // product text length
        {96, package_format::u16_to_be(39)},          // app version length
    };
    for (const auto &field : cases) {
        const package_report report = read_package(resealed(good, field.offset, field.bytes));
        QCOMPARE(report.failed, package_check::header_fields);
    }
}

QTEST_GUILESS_MAIN(tst_package_reader)
#include "tst_package_reader.moc"
