// vantrel-package run as a program: the same bytes as the window for the
// same inputs, the same refusals, and the reader's verdicts as exit codes.
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "make_package_t.h"
#include "package_files.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct run_result
{
    int exit_code = -1;
    QString out;
    QString err;
};

run_result run_tool(const QStringList &arguments)
{
    run_result result;
#ifdef VANTREL_PACKAGE_TOOL
    QProcess process;
    process.start(QStringLiteral(VANTREL_PACKAGE_TOOL), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exit_code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
#else
    Q_UNUSED(arguments);
#endif
    return result;
}

// The header form settings of one comparison.
struct header_choice
{
    QString product = QStringLiteral("K58TQE");
    QString boot_version = QStringLiteral("v01.00.01");
    QString app_version = QStringLiteral("v01.00.01");
    QString check_len = QStringLiteral("5");
    bool boot = true;
    bool app = true;
};

template <typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

// Makes a package in the window as a user would; empty on any box.
QByteArray build_in_window(const header_choice &choice, const QString &boot, const QString &app,
                           const QString &output)
{
    dialog_recorder dialogs;
    make_package_t window;
    config_header_t *form = window.header_window();
    child<QLineEdit>(form, "lineedit_product_info")->setText(choice.product);
    child<QLineEdit>(form, "lineedit_boot_version")->setText(choice.boot_version);
    child<QLineEdit>(form, "lineedit_app_version")->setText(choice.app_version);
    QLineEdit *check_len = child<QLineEdit>(form, "lineedit_check_len");
    check_len->setText(choice.check_len);
    emit check_len->editingFinished();
    child<QRadioButton>(form, "radiobutton_boot")->setChecked(choice.boot);
    child<QRadioButton>(form, "radiobutton_app")->setChecked(choice.app);
    child<QPushButton>(form, "pusshbutton_apply")->click();

    dialogs.file_answers = QStringList{boot, app, output};
    child<QPushButton>(&window, "pushbutton_open_boot_file")->click();
    child<QPushButton>(&window, "pushbutton_open_app_file")->click();
    child<QPushButton>(&window, "pushbutton_start_make")->click();
    if (!dialogs.boxes.isEmpty())
        return QByteArray();
    return package_files::read(output);
}

QStringList tool_arguments(const header_choice &choice, const QString &boot, const QString &app,
                           const QString &output)
{
    QStringList images;
    if (choice.boot)
        images << QStringLiteral("boot");
    if (choice.app)
        images << QStringLiteral("app");
    return {QStringLiteral("build"),
            QStringLiteral("--product"),
            choice.product,
            QStringLiteral("--boot-version"),
            choice.boot_version,
            QStringLiteral("--app-version"),
            choice.app_version,
            QStringLiteral("--check-len"),
            choice.check_len,
            QStringLiteral("--images"),
            images.isEmpty() ? QStringLiteral("none") : images.join(QLatin1Char(',')),
            QStringLiteral("--boot"),
            boot,
            QStringLiteral("--app"),
            app,
            QStringLiteral("-o"),
            output};
}

} // namespace

Q_DECLARE_METATYPE(header_choice)

class tst_package_tool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void help_and_usage_errors();
    void same_bytes_as_the_window_data();
    void same_bytes_as_the_window();
    void inspect_prints_the_header();
    void verify_names_the_first_failed_check();
    void refusals_leave_the_output_alone_data();
    void refusals_leave_the_output_alone();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void tst_package_tool::initTestCase()
{
#ifndef VANTREL_PACKAGE_TOOL
    QSKIP("vantrel-package is not part of this build");
#endif
    Q_INIT_RESOURCE(images);
    QVERIFY(dir.isValid());
    QVERIFY(package_files::write(path("boot.bin"), package_files::random(3001, 1)));
    QVERIFY(package_files::write(path("app.bin"), package_files::random(777, 2)));
}

void tst_package_tool::help_and_usage_errors()
{
    run_result result = run_tool({QStringLiteral("--help")});
    QCOMPARE(result.exit_code, 0);
    for (const char *word : {"build", "inspect", "verify", "--check-len", "Exit status"})
        QVERIFY2(result.out.contains(QLatin1String(word)), word);
    QCOMPARE(run_tool({QStringLiteral("build"), QStringLiteral("--help")}).exit_code, 0);

    const QStringList usage_errors[] = {
        {},
        {QStringLiteral("pack")},
        {QStringLiteral("build"), QStringLiteral("--colour"), QStringLiteral("red")},
        {QStringLiteral("build"), QStringLiteral("--images"), QStringLiteral("none")},
        {QStringLiteral("build"), QStringLiteral("--images"), QStringLiteral("kernel"),
         QStringLiteral("-o"), path("x.bin")},
        {QStringLiteral("verify")},
    };
    for (const QStringList &arguments : usage_errors) {
        result = run_tool(arguments);
        QVERIFY2(result.exit_code == 2, qPrintable(arguments.join(' ')));
        QVERIFY(!result.err.isEmpty());
        QVERIFY(result.out.isEmpty());
    }
}

void tst_package_tool::same_bytes_as_the_window_data()
{
    QTest::addColumn<header_choice>("choice");
    header_choice choice;
    QTest::newRow("defaults") << choice;
    choice.product = QString::fromUtf8("产品-\xc3\xa9");
    choice.check_len = QStringLiteral("0X1f");
    choice.app = false;
    QTest::newRow("boot only, wide text") << choice;
    choice = header_choice();
    choice.boot_version = QString();
    choice.app_version = QString(38, QLatin1Char('a'));
    choice.check_len = QStringLiteral("1000");
    choice.boot = false;
    QTest::newRow("app only, full slot") << choice;
    choice.app = false;
    QTest::newRow("neither, sizes kept") << choice;
}

void tst_package_tool::same_bytes_as_the_window()
{
    QFETCH(header_choice, choice);
    const QByteArray from_window =
        build_in_window(choice, path("boot.bin"), path("app.bin"), path("window.bin"));
    QVERIFY(!from_window.isEmpty());
    const run_result result =
        run_tool(tool_arguments(choice, path("boot.bin"), path("app.bin"), path("tool.bin")));
    QVERIFY2(result.exit_code == 0, qPrintable(result.err));
    QCOMPARE(package_files::read(path("tool.bin")), from_window);
    QCOMPARE(run_tool({QStringLiteral("verify"), path("tool.bin")}).exit_code, 0);
}


void tst_package_tool::inspect_prints_the_header()
{
    header_choice choice;
    choice.app = false;
    choice.check_len = QStringLiteral("0x10");
    QCOMPARE(run_tool(tool_arguments(choice, path("boot.bin"), path("app.bin"), path("i.bin")))
                 .exit_code,
             0);
    const run_result result = run_tool({QStringLiteral("inspect"), path("i.bin")});
    QCOMPARE(result.exit_code, 0);
    const QStringList lines = result.out.split(QLatin1Char('\n'));
    for (const char *line :
         {"product_info_len: 6", "product_info: \"K58TQE\"", "boot_version: \"v01.00.01\"",
          "boot_upgrade_flag: 0x8a8a8a8a (carried)", "app_upgrade_flag: 0x5a5a5a5a (not carried)",
          "check_len: 16 (0x0010)", "boot_file_size: 3001", "app_file_size: 777",
          "header_marker: 0x55"})
        QVERIFY2(lines.contains(QLatin1String(line)), line);

    QVERIFY(package_files::write(path("short.bin"), QByteArray(1000, 'x')));
    QCOMPARE(run_tool({QStringLiteral("inspect"), path("short.bin")}).exit_code, 1);
    QCOMPARE(run_tool({QStringLiteral("inspect"), path("missing.bin")}).exit_code, 3);
}

void tst_package_tool::verify_names_the_first_failed_check()
{
    header_choice choice;
    QCOMPARE(run_tool(tool_arguments(choice, path("boot.bin"), path("app.bin"), path("v.bin")))
                 .exit_code,
             0);
    const QByteArray good = package_files::read(path("v.bin"));
    run_result result = run_tool({QStringLiteral("verify"), path("v.bin")});
    QCOMPARE(result.exit_code, 0);
    QVERIFY(result.out.contains(QStringLiteral("3778 image bytes in 756 check blocks")));

    const struct
    {
        int flip_at;
        int keep;
        const char *check;
    } damage[] = {
        {100, -1, "header checksum"},
        {1024 + 7 * 10 + 2, -1, "check block checksum"},
        {1024 + 7 * 10 + 5, -1, "check block checksum"},
        {good.size() - 1, -1, "package checksum"},
        {-1, good.size() - 3, "body length"},
        {-1, 1027, "file length"},
    };
    for (const auto &d : damage) {
        QByteArray bad = d.keep >= 0 ? good.left(d.keep) : good;
        if (d.flip_at >= 0)
            bad[d.flip_at] = char(bad[d.flip_at] ^ 1);
        QVERIFY(package_files::write(path("bad.bin"), bad));
        result = run_tool({QStringLiteral("verify"), path("bad.bin")});
        QCOMPARE(result.exit_code, 1);
        QVERIFY2(result.err.contains(QLatin1String(d.check) + QStringLiteral(" check failed")),
                 qPrintable(result.err));
    }
    QVERIFY(run_tool({QStringLiteral("verify"), path("bad.bin")}).out.isEmpty());
    QCOMPARE(run_tool({QStringLiteral("verify"), path("missing.bin")}).exit_code, 3);
}

void tst_package_tool::refusals_leave_the_output_alone_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exit_code");
    QTest::newRow("check length 0") << QStringList{"--check-len", "0"} << 4;
    QTest::newRow("check length 0x") << QStringList{"--check-len", "0x"} << 4;
    QTest::newRow("x1 is 0") << QStringList{"--check-len", "x1"} << 4;
    QTest::newRow("stray 0x") << QStringList{"--check-len", "10x"} << 4;
    QTest::newRow("x after 0x") << QStringList{"--check-len", "0x0x"} << 4;
    QTest::newRow("seven characters") << QStringList{"--check-len", "1234567"} << 4;
    QTest::newRow("not hexadecimal") << QStringList{"--check-len", "12g"} << 4;
    QTest::newRow("product of 61") << QStringList{"--product", QString(61, 'p')} << 4;
    QTest::newRow("boot version of 31") << QStringList{"--boot-version", QString(31, 'b')} << 4;
    QTest::newRow("no boot path") << QStringList{"--boot", ""} << 4;
    QTest::newRow("missing image") << QStringList{"--app", "missing.bin"} << 3;
    QTest::newRow("unselected missing image")
        << QStringList{"--images", "boot", "--app", "missing.bin"} << 3;
}

void tst_package_tool::refusals_leave_the_output_alone()
{
    QFETCH(QStringList, options);
    QFETCH(int, exit_code);
    QVERIFY(package_files::write(path("old.bin"), "old package"));
    QStringList arguments = {QStringLiteral("build"), QStringLiteral("--boot"), path("boot.bin"),
                             QStringLiteral("--app"), path("app.bin")};
    for (const QString &option : options)
        arguments << (option.endsWith(QLatin1String(".bin")) ? path(option) : option);
    arguments << QStringLiteral("--output") << path("old.bin");
    const run_result result = run_tool(arguments);
    QCOMPARE(result.exit_code, exit_code);
    QVERIFY(!result.err.isEmpty());
    QCOMPARE(package_files::read(path("old.bin")), QByteArray("old package"));
}

QTEST_MAIN(tst_package_tool)
#include "tst_package_tool.moc"
