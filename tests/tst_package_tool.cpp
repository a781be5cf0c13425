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
        QVERIFY(package_files::write(path("empty.bin"), "") && QDir(dir.path()).mkdir("dir.bin"));
    }
    void builds_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exit_code"); // not 0: refused, the old output file kept
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("app_version");
        QTest::addColumn<quint32>("check_len");
        QTest::addColumn<int>("images"); // bit 0: boot, bit 1: app
        const QString product = "K58TQE", version = "v01.00.01", wide = "Produkt-é", full(38, 'a');
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
        refused("product beyond Latin-1", {"--product", "产品"}, 4);
        refused("empty image carried", {"--app", "empty.bin", "--images", "app"}, 4);
        refused("folder not carried", {"--boot", "dir.bin", "--images", "app"}, 3);
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
            QVERIFY2(err.contains(QRegularExpression(" --[a-z]")), qPrintable(err)); // the option

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
        for (const char *command : {"build", "inspect", "verify"}) // help on standard output
            QVERIFY(run({command, "-h"}, &out) == 0 &&
                    out.startsWith("Usage: vantrel-package ", Qt::CaseInsensitive));
#ifdef Q_OS_UNIX
        QCOMPARE(run({"inspect", "p.bin"}, nullptr, nullptr, "/dev/full"), 3);
#endif

        // Texts with control characters stay on their line; a length past its slot spoils
        // only its own text.
        QCOMPARE(run({"build", "--product", "a\nboot_version: \x1b[2J\\", "--boot", "boot.bin",
                      "--app", "app.bin", "-o", "c.bin"}),
                 0);
        QByteArray odd = package_files::read(path("c.bin"));
        odd[65] = 31; // boot_version_len
        QVERIFY(package_files::write(path("odd.bin"), odd));
        QCOMPARE(run({"inspect", "odd.bin"}, &out), 0);
        QVERIFY2(out.contains("\nproduct_info: \"a\\x0aboot_version: \\x1b[2J\\\\\"\n"
                              "boot_version_len: 31\nboot_version: (length overruns its 30-byte "
                              "slot)\napp_version_len: 9\napp_version: \"v01.00.01\"\n"),
                 qPrintable(out));
        // Past the size any build could write: refused before anything is read.
        QFile huge(path("huge.bin"));
        if (huge.open(QIODevice::WriteOnly) && huge.resize(qint64(5) << 30)) {
            QCOMPARE(run({"verify", "huge.bin"}, nullptr, &err), 3);
            QVERIFY2(err.contains("too large"), qPrintable(err));
        }
#ifdef Q_OS_UNIX
        // A device that never ends is read only as far as its header says.
        QCOMPARE(run({"verify", "/dev/zero"}, nullptr, &err), 1);
        QVERIFY2(err.contains("file length check failed: 1025 bytes"), qPrintable(err));
#endif
    }

    void standard_output()
    {
        // The package byte for byte (no line feed turned into CR LF), the report on standard
        // error; a file that standard output goes to counts as standard output.
        QCOMPARE(run({"build", "--boot", "boot.bin", "--app", "app.bin", "-o", "ref.bin"}), 0);
        const QByteArray expected = package_files::read(path("ref.bin"));
        QVERIFY(expected.contains('\n'));
        QString err;
        const QStringList build{"build", "--boot", "boot.bin", "--app", "app.bin", "-o"};
        QCOMPARE(run(build + QStringList{"-"}, nullptr, &err, path("stdout.bin")), 0);
        QCOMPARE(package_files::read(path("stdout.bin")), expected);
        QVERIFY2(err.contains("-: 6316 bytes, 756 check blocks"), qPrintable(err));
        QCOMPARE(run(build + QStringList{"same.bin"}, nullptr, &err, path("same.bin")), 0);
        QCOMPARE(package_files::read(path("same.bin")), expected);
        QVERIFY2(err.contains("same.bin: 6316 bytes"), qPrintable(err));
    }

    void full_disk_keeps_the_old_package()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a file size limit");
#else
        // The file size limit cuts the write short, as a full disk would.
        QVERIFY(package_files::write(path("out.bin"), "old package"));
        QString err;
        const package_files::disk_full_after full(4096);
        const int code = run({"build", "--boot", "boot.bin", "--app", "app.bin", "-o", "out.bin"},
                             nullptr, &err);
        QCOMPARE(code, 3);
        QVERIFY2(err.contains("--output: ") && err.contains("cannot write"), qPrintable(err));
        QCOMPARE(package_files::read(path("out.bin")), QByteArray("old package"));
#endif
    }

    void pipes()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs bash and process substitution");
#endif
        // Images from pipes are read to their end; the package alone goes to standard output.
        QCOMPARE(run({"build", "--boot", "boot.bin", "--app", "app.bin", "-o", "ref.bin"}), 0);
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        shell.start("bash", {"-c", QStringLiteral("'%1' build --boot <(cat boot.bin) "
                                                  "--app <(cat app.bin) -o - > piped.bin && "
                                                  "! '%1' build -o $'bad\\xe9.bin' 2>&1 && ls")
                                       .arg(VANTREL_PACKAGE_TOOL)});
        QVERIFY(shell.waitForFinished(60000) && shell.exitCode() == 0);
        QCOMPARE(package_files::read(path("piped.bin")), package_files::read(path("ref.bin")));
        QVERIFY(shell.readAllStandardError().contains("-: 6316 bytes, 756 check blocks"));
        // A name the system's encoding cannot carry is refused, not changed into another.
        const QString listed = QString::fromUtf8(shell.readAllStandardOutput());
        QVERIFY2(listed.contains("argument 'bad\\xe9.bin' is not valid") &&
                     !listed.contains("bad"
                                      "\uFFFD"),
                 qPrintable(listed));
    }

private:
    int run(QStringList arguments, QString *out = nullptr, QString *err = nullptr,
            const QString &out_file = QString())
    {
        for (QString &argument : arguments)
            argument = argument.endsWith(QLatin1String(".bin")) ? path(argument) : argument;
        QProcess process;
        if (!out_file.isEmpty())
            process.setStandardOutputFile(out_file);
        process.start(QStringLiteral(VANTREL_PACKAGE_TOOL), arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        // Text lines end in CR LF on Windows.
        if (out)
            *out = QString::fromUtf8(process.readAllStandardOutput()).replace("\r\n", "\n");
        if (err)
            *err = QString::fromUtf8(process.readAllStandardError()).replace("\r\n", "\n");
        return process.exitCode();
    }
    QString path(const QString &name) const
    {
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(tst_package_tool)
#include "tst_package_tool.moc"
