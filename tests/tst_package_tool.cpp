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
    void initTestCase()
    {
        QVERIFY(package_files::write(path("boot.bin"), package_files::random(3001, 1)));
        QVERIFY(package_files::write(path("app.bin"), package_files::random(777, 2)));
    }
    void builds_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exit_code"); // not 0: refused, the old output file kept
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("app_version");
        QTest::addColumn<quint32>("check_len");
        QTest::addColumn<int>("images"); // bit 0: boot, bit 1: app
        const QString product = "K58TQE", version = "v01.00.01", wide = "产品-é", full(38, 'a');
        auto refused = [](const char *name, const QStringList &options, int exit_code) {
            QTest::newRow(name) << options << exit_code << QString() << QString() << 0u << 0;
        };
        QTest::newRow("defaults") << QStringList() << 0 << product << version << 5u << 3;
        QTest::newRow("boot only, wide text, 0X1f")
            << QStringList{"--product", wide, "--check-len", "0X1f", "--images", "boot"} << 0
            << wide << version << 31u << 1;
        QTest::newRow("app only, full slot")
            << QStringList{"--app-version", full, "--check-len", "1000", "--images", "app"} << 0
            << product << full << 0x1000u << 2;
        QTest::newRow("neither") << QStringList{"--images", "none"} << 0 << product << version << 5u
                                 << 0;
        for (const char *check_len : {"0", "x1", "10x", "0x0x", "1234567"})
            refused(check_len, {"--check-len", check_len}, 4);
        refused("product of 61", {"--product", QString(61, 'p')}, 4);
        refused("boot version of 31", {"--boot-version", QString(31, 'b')}, 4);
        refused("no boot path", {"--boot", ""}, 4);
        refused("missing image", {"--app", "missing.bin"}, 3);
        refused("missing image not carried", {"--app", "missing.bin", "--images", "boot"}, 3);
        refused("unknown image", {"--images", "kernel"}, 2);
    }
    void builds()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exit_code);
        QFETCH(QString, product);
        QFETCH(QString, app_version);
        QFETCH(quint32, check_len);
        QFETCH(int, images);
        QVERIFY(package_files::write(path("out.bin"), "old package"));
        QString err;
        QCOMPARE(run(QStringList{"build", "--boot", "boot.bin", "--app", "app.bin"} + options +
                         QStringList{"--output", "out.bin"},
                     nullptr, &err),
                 exit_code);
        if (exit_code) {
            QVERIFY(!err.isEmpty());
            QCOMPARE(package_files::read(path("out.bin")), QByteArray("old package"));
            return;
        }
        header_info_t header = default_header_info();
        header.product_info = product;
        header.product_info_len = quint32(product.size());
        header.app_version = app_version;
        header.app_version_len = quint16(app_version.size());
        header.check_len = check_len;
        header.boot_upgrade_flag = images & 1 ? upgrade_flag_yes : upgrade_flag_no;
        header.app_upgrade_flag = images & 2 ? upgrade_flag_yes : upgrade_flag_no;
        header.boot_file_size = 3001; // measured whether carried or not
        header.app_file_size = 777;
        const QByteArray source = (images & 1 ? package_files::read(path("boot.bin")) : "") +
                                  (images & 2 ? package_files::read(path("app.bin")) : "");
        QByteArray expected;
        QCOMPARE(build_package(header, source, expected), build_status::ok);
        QCOMPARE(package_files::read(path("out.bin")), expected);
    }
    void inspect_and_verify()
    {
        QCOMPARE(run({"build", "--images", "boot", "--check-len", "0x10", "--boot", "boot.bin",
                      "-o", "p.bin"}),
                 0);
        QString out, err;
        QCOMPARE(run({"inspect", "p.bin"}, &out), 0);
        for (const char *line :
             {"product_info: \"K58TQE\"", "boot_upgrade_flag: 0x8a8a8a8a (carried)",
              "app_upgrade_flag: 0x5a5a5a5a (not carried)", "check_len: 16 (0x0010)",
              "boot_file_size: 3001", "header_marker: 0x55"})
            QVERIFY2(out.split('\n').contains(QLatin1String(line)), line);
        QCOMPARE(run({"verify", "p.bin"}, &out), 0);
        QVERIFY2(out.contains("3001 image bytes in 188 check blocks"), qPrintable(out));

        QByteArray bad = package_files::read(path("p.bin"));
        bad[1024 + 18 * 3 + 2] = char(bad[1024 + 18 * 3 + 2] ^ 1);
        QVERIFY(package_files::write(path("bad.bin"), bad));
        QCOMPARE(run({"verify", "bad.bin"}, &out, &err), 1);
        QVERIFY2(err.contains("check block checksum check failed") && out.isEmpty(),
                 qPrintable(err));
        QVERIFY(package_files::write(path("short.bin"), QByteArray(1000, 'x')));
        QCOMPARE(run({"inspect", "short.bin"}), 1);
        QCOMPARE(run({"verify", "missing.bin"}), 3);
        QCOMPARE(run({"pack"}), 2);
    }

    void pipes()
    {
        // Images from pipes are read to their end; the package alone goes to standard output.
        QCOMPARE(run({"build", "--boot", "boot.bin", "--app", "app.bin", "-o", "ref.bin"}), 0);
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start("bash", {"-c", QStringLiteral("'%1' build --boot <(cat boot.bin) "
                                                  "--app <(cat app.bin) -o - > piped.bin")
                                       .arg(VANTREL_PACKAGE_TOOL)});
        QVERIFY(shell.waitForFinished(60000) && shell.exitCode() == 0);
        QCOMPARE(package_files::read(path("piped.bin")), package_files::read(path("ref.bin")));
        QVERIFY(shell.readAllStandardError().contains("-: 6316 bytes, 756 check blocks"));
    }

private:
    int run(QStringList arguments, QString *out = nullptr, QString *err = nullptr)
    {
        for (QString &argument : arguments)
            argument = argument.endsWith(QLatin1String(".bin")) ? path(argument) : argument;
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
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(tst_package_tool)
#include "tst_package_tool.moc"
