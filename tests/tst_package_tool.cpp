// vantrel-package run as a program: the package for given options, the
// header it prints, the reader's verdicts and refusals as exit codes.
#include "package_builder.h"
#include "package_files.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_package_tool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builds_data();
    void builds();
    void inspect_and_verify();
    void refusals_data();
    void refusals();

private:
    int run(QStringList arguments, QString *out = nullptr, QString *err = nullptr);
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

int tst_package_tool::run(QStringList arguments, QString *out, QString *err)
{
    for (QString &argument : arguments) {
        if (argument.endsWith(QLatin1String(".bin")))
            argument = path(argument);
    }
    QProcess process;
    process.start(QStringLiteral(VANTREL_PACKAGE_TOOL), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

void tst_package_tool::initTestCase()
{
    QVERIFY(package_files::write(path("boot.bin"), package_files::random(3001, 1)));
    QVERIFY(package_files::write(path("app.bin"), package_files::random(777, 2)));
}

void tst_package_tool::builds_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("app_version");
    QTest::addColumn<quint32>("check_len");
    QTest::addColumn<bool>("boot");
    QTest::addColumn<bool>("app");
    QTest::newRow("defaults") << QStringList() << "K58TQE"
                              << "v01.00.01" << 5u << true << true;
    QTest::newRow("boot only, wide text, 0X1f")
        << QStringList{"--product", "产品-é", "--check-len", "0X1f", "--images", "boot"} << "产品-é"
        << "v01.00.01" << 31u << true << false;
    QTest::newRow("app only, full slot")
        << QStringList{"--app-version", QString(38, 'a'), "--check-len", "1000", "--images", "app"}
        << "K58TQE" << QString(38, 'a') << 0x1000u << false << true;
    QTest::newRow("neither") << QStringList{"--images", "none"} << "K58TQE"
                             << "v01.00.01" << 5u << false << false;
}

void tst_package_tool::builds()
{
    QFETCH(QStringList, options);
    QFETCH(QString, product);
    QFETCH(QString, app_version);
    QFETCH(quint32, check_len);
    QFETCH(bool, boot);
    QFETCH(bool, app);
    QString err;
    QCOMPARE(run(QStringList{"build", "--boot", "boot.bin", "--app", "app.bin", "-o", "out.bin"} +
                     options,
                 nullptr, &err),
             0);
    header_info_t header = default_header_info();
    header.product_info = product;
    header.product_info_len = quint32(product.size());
    header.app_version = app_version;
    header.app_version_len = quint16(app_version.size());
    header.check_len = check_len;
    header.boot_upgrade_flag = boot ? upgrade_flag_yes : upgrade_flag_no;
    header.app_upgrade_flag = app ? upgrade_flag_yes : upgrade_flag_no;
    header.boot_file_size = 3001; // measured whether carried or not
    header.app_file_size = 777;
    const QByteArray source = (boot ? package_files::read(path("boot.bin")) : QByteArray()) +
                              (app ? package_files::read(path("app.bin")) : QByteArray());
    QByteArray expected;
    QCOMPARE(build_package(header, source, expected), build_status::ok);
    QCOMPARE(package_files::read(path("out.bin")), expected);
}

void tst_package_tool::inspect_and_verify()
{
    QCOMPARE(run({"build", "--images", "boot", "--check-len", "0x10", "--boot", "boot.bin", "-o",
                  "p.bin"}),
             0);
    QString out, err;
    QCOMPARE(run({"inspect", "p.bin"}, &out), 0);
    for (const char *line : {"product_info: \"K58TQE\"", "boot_upgrade_flag: 0x8a8a8a8a (carried)",
                             "app_upgrade_flag: 0x5a5a5a5a (not carried)", "check_len: 16 (0x0010)",
                             "boot_file_size: 3001", "header_marker: 0x55"})
        QVERIFY2(out.split('\n').contains(QLatin1String(line)), line);
    QCOMPARE(run({"verify", "p.bin"}, &out), 0);
    QVERIFY2(out.contains("3001 image bytes in 188 check blocks"), qPrintable(out));

    QByteArray bad = package_files::read(path("p.bin"));
    bad[1024 + 18 * 3 + 2] = char(bad[1024 + 18 * 3 + 2] ^ 1);
    QVERIFY(package_files::write(path("bad.bin"), bad));
    QCOMPARE(run({"verify", "bad.bin"}, &out, &err), 1);
    QVERIFY2(err.contains("check block checksum check failed"), qPrintable(err));
    QVERIFY(out.isEmpty());
    QVERIFY(package_files::write(path("short.bin"), QByteArray(1000, 'x')));
    QCOMPARE(run({"inspect", "short.bin"}), 1);
    QCOMPARE(run({"verify", "missing.bin"}), 3);
    QCOMPARE(run({"pack"}), 2);
}

void tst_package_tool::refusals_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exit_code");
    QTest::newRow("check length 0") << QStringList{"--check-len", "0"} << 4;
    QTest::newRow("x1 is 0") << QStringList{"--check-len", "x1"} << 4;
    QTest::newRow("stray 0x") << QStringList{"--check-len", "10x"} << 4;
    QTest::newRow("x after 0x") << QStringList{"--check-len", "0x0x"} << 4;
    QTest::newRow("seven characters") << QStringList{"--check-len", "1234567"} << 4;
    QTest::newRow("product of 61") << QStringList{"--product", QString(61, 'p')} << 4;
    QTest::newRow("boot version of 31") << QStringList{"--boot-version", QString(31, 'b')} << 4;
    QTest::newRow("no boot path") << QStringList{"--boot", ""} << 4;
    QTest::newRow("missing image") << QStringList{"--app", "missing.bin"} << 3;
    QTest::newRow("unknown image") << QStringList{"--images", "kernel"} << 2;
}

void tst_package_tool::refusals()
{
    QFETCH(QStringList, options);
    QFETCH(int, exit_code);
    QVERIFY(package_files::write(path("old.bin"), "old package"));
    QString err;
    QCOMPARE(run(QStringList{"build", "--boot", "boot.bin", "--app", "app.bin"} + options +
                     QStringList{"--output", "old.bin"},
                 nullptr, &err),
             exit_code);
    QVERIFY(!err.isEmpty());
    QCOMPARE(package_files::read(path("old.bin")), QByteArray("old package"));
}

QTEST_GUILESS_MAIN(tst_package_tool)
#include "tst_package_tool.moc"
