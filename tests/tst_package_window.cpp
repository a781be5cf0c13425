// The package maker window driven through its buttons, with every box and
// file dialog answered by the recorder, on real files.
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "hex_dump.h"
#include "mainwindow.h"
#include "make_package_t.h"
#include "package_builder.h"
#include "package_files.h"
#include "package_reader.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

using box_kind = user_dialogs::box_kind;

template <typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// One maker window with the recorder answering its dialogs.
struct maker
{
    dialog_recorder dialogs;
    make_package_t window;
    config_header_t *form = window.header_window();

    QLineEdit *boot_path = child<QLineEdit>(&window, "line_boot_input_file_dir");
    QLineEdit *app_path = child<QLineEdit>(&window, "line_app_input_file_dir");
    QLineEdit *output_path = child<QLineEdit>(&window, "line_output_file_dir");
    QTextBrowser *browser = child<QTextBrowser>(&window, "textBrowser");

    maker() { window.show(); }

    void choose_boot(const QString &path) { choose("pushbutton_open_boot_file", path); }
    void choose_app(const QString &path) { choose("pushbutton_open_app_file", path); }
    void choose(const char *button, const QString &path)
    {
        dialogs.file_answers = QStringList{path};
        child<QPushButton>(&window, button)->click();
    }
    void start(const QString &output)
    {
        // An answer left over from a start that stopped early is dropped.
        dialogs.file_answers = QStringList{output};
        child<QPushButton>(&window, "pushbutton_start_make")->click();
    }
    // Edits the header form as a user would and applies it.
    void apply_header(bool boot, bool app, const QString &check_len = QStringLiteral("5"),
                      const QString &product = QStringLiteral("K58TQE"))
    {
        form->show();
        child<QRadioButton>(form, "radiobutton_boot")->setChecked(boot);
        child<QRadioButton>(form, "radiobutton_app")->setChecked(app);
        child<QLineEdit>(form, "lineedit_product_info")->setText(product);
        QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
        field->setText(check_len);
        emit field->editingFinished();
        child<QPushButton>(form, "pusshbutton_apply")->click();
    }
    QStringList box_texts() const
    {
        QStringList texts;
        for (const dialog_recorder::box &box : dialogs.boxes)
            texts << box.title + QLatin1Char('|') + box.text;
        return texts;
    }
};

} // namespace

class tst_package_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void starts_empty_and_opens_the_header_form();
    void choosing_an_image_measures_and_dumps_it();
    void large_dump_is_cut_with_a_note();
    void cancelled_choice_then_boot_check();
    void boot_check_comes_before_app_check();
    void unreadable_choice_still_records_the_size();
    void oversized_image_is_refused_when_chosen();
    void both_images_build_the_expected_package();
    void neither_image_selected_builds_1028_bytes();
    void cancelled_save_writes_nothing();
    void refused_before_the_save_dialog_data();
    void refused_before_the_save_dialog();
    void image_gone_at_build_time_stops_the_build();
    void rebuilt_image_sizes_come_from_the_build();
    void output_that_cannot_be_written();
    void short_write_removes_the_cut_off_package();
    void closing_hands_back_to_the_main_window();

private:
    QTemporaryDir dir;
    QString boot_file;
    QString app_file;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};

void tst_package_window::initTestCase()
{
    Q_INIT_RESOURCE(images);
    QVERIFY(dir.isValid());
    boot_file = path("boot.bin");
    app_file = path("app.bin");
}

void tst_package_window::init()
{
    QVERIFY(package_files::write(boot_file, package_files::counting(12)));
    QVERIFY(package_files::write(app_file, package_files::counting(10)));
    QFile::remove(path("out.bin"));
}

void tst_package_window::starts_empty_and_opens_the_header_form()
{
    maker m;
    QCOMPARE(m.window.windowTitle(), QStringLiteral("Vantrel工具集-升级包制作界面"));
    for (QLineEdit *field : {m.boot_path, m.app_path, m.output_path}) {
        QVERIFY(field->text().isEmpty());
        QVERIFY(!field->isEnabled());
    }
    QVERIFY(m.browser->toPlainText().isEmpty());
    QVERIFY(!m.form->isVisible());
    QAction *action = m.window.findChild<QAction *>(QStringLiteral("action_config_header"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("配置头部信息"));
    action->trigger();
    QVERIFY(m.form->isVisible());
    QCOMPARE(m.form->get_header_info().boot_file_size, 0u);
}

void tst_package_window::choosing_an_image_measures_and_dumps_it()
{
    maker m;
    QVERIFY(package_files::write(app_file, package_files::counting(33, 0)));
    m.choose_app(app_file);
    QCOMPARE(m.app_path->text(), app_file);
    QCOMPARE(m.form->header_info.app_file_size, 33u);
    QCOMPARE(m.browser->toPlainText(), hex_dump_text(package_files::counting(33, 0)));
    QVERIFY(m.browser->toPlainText().endsWith(QStringLiteral("1F\n20")));
    QCOMPARE(m.window.statusBar()->currentMessage(), QStringLiteral("读取数据完毕"));
    QVERIFY(m.dialogs.boxes.isEmpty());
    QCOMPARE(m.dialogs.file_requests.size(), 1);
    QCOMPARE(m.dialogs.file_requests[0].caption, QStringLiteral("Open File"));
    QCOMPARE(m.dialogs.file_requests[0].dir, QDir::currentPath());
    QCOMPARE(m.dialogs.file_requests[0].filter, QString());

    // An empty file gives an empty dump.
    QVERIFY(package_files::write(boot_file, QByteArray()));
    m.choose_boot(boot_file);
    QVERIFY(m.browser->toPlainText().isEmpty());
    QCOMPARE(m.form->header_info.boot_file_size, 0u);
}

void tst_package_window::large_dump_is_cut_with_a_note()
{
    maker m;
    const int size = make_package_t::max_dump_bytes + 5;
    const QByteArray image = package_files::random(size, 9);
    QVERIFY(package_files::write(boot_file, image));
    m.choose_boot(boot_file);
    QCOMPARE(m.form->header_info.boot_file_size, quint32(size));
    const QString shown = m.browser->toPlainText();
    const QString dump = hex_dump_text(image.left(make_package_t::max_dump_bytes));
    QVERIFY(shown.startsWith(dump));
    QCOMPARE(shown.mid(dump.size()), QStringLiteral("\n……（仅显示前 %1 字节，共 %2 字节）")
                                         .arg(make_package_t::max_dump_bytes)
                                         .arg(size));
}

void tst_package_window::cancelled_choice_then_boot_check()
{
    maker m;
    m.choose_boot(boot_file);
    const QString dump = m.browser->toPlainText();
    m.choose_boot(QString());
    QCOMPARE(m.boot_path->text(), QString());
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误信息|请选择一个文件")});
    QCOMPARE(m.dialogs.boxes[0].kind, box_kind::information);
    QCOMPARE(m.browser->toPlainText(), dump);

    m.choose_app(app_file);
    m.dialogs.boxes.clear();
    m.start(path("out.bin"));
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|boot文件路径未输入")});
    QCOMPARE(m.dialogs.boxes[0].kind, box_kind::warning);
    QVERIFY(!QFile::exists(path("out.bin")));
}

void tst_package_window::boot_check_comes_before_app_check()
{
    maker m;
    m.start(path("out.bin"));
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|boot文件路径未输入")});
    m.choose_boot(boot_file);
    m.dialogs.boxes.clear();
    m.start(path("out.bin"));
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|app文件路径未输入")});
    // Only the app image selected: the missing boot path does not matter.
    m.choose_boot(QString());
    m.choose_app(app_file);
    m.apply_header(false, true);
    m.dialogs.boxes.clear();
    m.start(path("out.bin"));
    QVERIFY(m.dialogs.boxes.isEmpty());
    const package_report report = read_package(package_files::read(path("out.bin")));
    QVERIFY2(report.ok(), qPrintable(report.detail));
}

void tst_package_window::unreadable_choice_still_records_the_size()
{
    maker m;
    // A directory has a size but cannot be read as an image.
    const QString folder = path("folder");
    QVERIFY(QDir().mkpath(folder));
    m.choose_boot(folder);
    QCOMPARE(m.boot_path->text(), folder);
    QCOMPARE(m.dialogs.boxes.size(), 1);
    QCOMPARE(m.dialogs.boxes[0].title, QStringLiteral("错误信息"));
    QVERIFY(m.dialogs.boxes[0].text.startsWith(QStringLiteral("文件打开失败")));
    QVERIFY(m.dialogs.boxes[0].text.size() > QStringLiteral("文件打开失败").size());
    QCOMPARE(qint64(m.form->header_info.boot_file_size), QFileInfo(folder).size());
}

void tst_package_window::oversized_image_is_refused_when_chosen()
{
    maker m;
    m.choose_boot(boot_file);
    const QString dump = m.browser->toPlainText();
    // Sparse files: nothing is written, only the size is set.
    for (const qint64 size : {qint64(5) << 30, qint64(3) << 29}) {
        QFile big(path("big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(size));
        big.close();
        m.dialogs.boxes.clear();
        m.choose_boot(path("big.bin"));
        QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误信息|文件过大，无法制作升级包")});
        QCOMPARE(m.boot_path->text(), QString());
        QCOMPARE(m.form->header_info.boot_file_size, 12u);
        QCOMPARE(m.browser->toPlainText(), dump);
        QFile::remove(path("big.bin"));
    }
}

void tst_package_window::both_images_build_the_expected_package()
{
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    m.start(path("out.bin"));
    QVERIFY2(m.dialogs.boxes.isEmpty(), qPrintable(m.box_texts().join(',')));
    QCOMPARE(m.output_path->text(), path("out.bin"));
    const dialog_recorder::file_request &save = m.dialogs.file_requests.last();
    QVERIFY(save.save);
    QCOMPARE(save.caption, QStringLiteral("另存"));
    QCOMPARE(save.dir, QString());
    QCOMPARE(save.filter, QStringLiteral("bin文件(*.bin)"));

    const QByteArray written = package_files::read(path("out.bin"));
    // 22 image bytes at check length 5: four full blocks and one of 2 bytes,
    // the third block holding boot bytes 11, 12 and app bytes 1 to 3.
    QCOMPARE(written.size(), 1024 + 22 + 2 * 5 + 2);
    QCOMPARE(written.mid(1008, 12), QByteArray::fromHex("0000000cffffffff0000000a"));
    QCOMPARE(written.mid(1024 + 14, 7), QByteArray::fromHex("0b0c010203001d"));
    QVERIFY(read_package(written).ok());
    QCOMPARE(m.browser->toPlainText(), hex_dump_text(written));

    header_info_t header = default_header_info();
    header.boot_file_size = 12;
    header.app_file_size = 10;
    const QByteArray source = package_files::counting(12) + package_files::counting(10);
    QByteArray expected;
    QCOMPARE(build_package(header, source, expected), build_status::ok);
    QCOMPARE(written, expected);
}

void tst_package_window::neither_image_selected_builds_1028_bytes()
{
    maker m;
    m.apply_header(false, false);
    m.start(path("out.bin"));
    QVERIFY(m.dialogs.boxes.isEmpty());
    const QByteArray written = package_files::read(path("out.bin"));
    QCOMPARE(written.size(), 1028);
    QCOMPARE(written.mid(1022), QByteArray::fromHex("ce030000ced4"));
}

void tst_package_window::cancelled_save_writes_nothing()
{
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    m.start(path("out.bin"));
    const QString dump = m.browser->toPlainText();
    QVERIFY(QFile::remove(path("out.bin")));
    m.start(QString());
    QCOMPARE(m.output_path->text(), QString());
    QVERIFY(m.dialogs.boxes.isEmpty());
    QVERIFY(!QFile::exists(path("out.bin")));
    QCOMPARE(m.browser->toPlainText(), dump);
}

void tst_package_window::refused_before_the_save_dialog_data()
{
    QTest::addColumn<QString>("check_len");
    QTest::addColumn<QString>("field"); // a header form text set to `length` characters
    QTest::addColumn<int>("length");
    QTest::addColumn<qint64>("app_size"); // the app image grown after it was chosen
    QTest::addColumn<QString>("box");     // empty: the package is built
    const QString zero = QStringLiteral("固件校验长度为0，无法制作升级包\r\n"
                                        "请在头部信息配置中输入大于0的校验长度");
    QTest::newRow("check length 0") << "0" << QString() << 0 << qint64(0) << zero;
    QTest::newRow("x1 reads as 0") << "x1" << QString() << 0 << qint64(0) << zero;
    QTest::newRow("product info 61")
        << "5"
        << "lineedit_product_info" << 61 << qint64(0) << "产品信息过长：61个字符，最多60个字符";
    QTest::newRow("product info 60") << "5"
                                     << "lineedit_product_info" << 60 << qint64(0) << QString();
    QTest::newRow("boot version 31")
        << "5"
        << "lineedit_boot_version" << 31 << qint64(0) << "boot版本过长：31个字符，最多30个字符";
    QTest::newRow("boot version 30") << "5"
                                     << "lineedit_boot_version" << 30 << qint64(0) << QString();
    QTest::newRow("app version 39")
        << "5"
        << "lineedit_app_version" << 39 << qint64(0) << "app版本过长：39个字符，最多38个字符";
    QTest::newRow("app version 38") << "5"
                                    << "lineedit_app_version" << 38 << qint64(0) << QString();
    // Each image byte takes three package bytes at check length 1.
    const qint64 big = 0x2AAB0000;
    const qint64 limit = 0x7FFF0000;
    QTest::newRow("package over the limit")
        << "1" << QString() << 0 << big
        << QStringLiteral("升级包过大：将有%1字节，最多可制作%2字节\r\n"
                          "请选用较小的文件或较大的固件校验长度")
               .arg(1024 + 3 * (12 + big) + 2 + 2)
               .arg(limit);
}

void tst_package_window::refused_before_the_save_dialog()
{
    QFETCH(QString, check_len);
    QFETCH(QString, field);
    QFETCH(int, length);
    QFETCH(qint64, app_size);
    QFETCH(QString, box);
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    m.apply_header(true, true, check_len);
    if (!field.isEmpty()) {
        child<QLineEdit>(m.form, field.toLatin1().constData())->setText(QString(length, QLatin1Char('v')));
        child<QPushButton>(m.form, "pusshbutton_apply")->click();
    }
    if (app_size) {
        // Sparse: only the size is set.
        QFile app(app_file);
        QVERIFY(app.open(QIODevice::ReadWrite) && app.resize(app_size));
    }
    QVERIFY(package_files::write(path("out.bin"), "old package"));
    const QString dump = m.browser->toPlainText();
    const int requests = m.dialogs.file_requests.size();
    m.start(path("out.bin"));
    if (box.isEmpty()) {
        QVERIFY2(m.dialogs.boxes.isEmpty(), qPrintable(m.box_texts().join(',')));
        QVERIFY(read_package(package_files::read(path("out.bin"))).ok());
        return;
    }
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|") + box});
    QCOMPARE(m.dialogs.boxes[0].kind, box_kind::warning);
    QCOMPARE(m.dialogs.file_requests.size(), requests);
    QCOMPARE(package_files::read(path("out.bin")), QByteArray("old package"));
    QCOMPARE(m.browser->toPlainText(), dump);
}

void tst_package_window::image_gone_at_build_time_stops_the_build()
{
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    QVERIFY(QFile::remove(app_file));
    QVERIFY(package_files::write(path("out.bin"), "old package"));
    m.start(path("out.bin"));
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误信息|文件打开失败")});
    QCOMPARE(m.dialogs.boxes[0].kind, box_kind::information);
    QCOMPARE(package_files::read(path("out.bin")), QByteArray("old package"));
}

void tst_package_window::rebuilt_image_sizes_come_from_the_build()
{
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    QVERIFY(package_files::write(boot_file, package_files::counting(300)));
    QVERIFY(package_files::write(app_file, package_files::counting(4)));
    m.start(path("out.bin"));
    QVERIFY(m.dialogs.boxes.isEmpty());
    const package_report report = read_package(package_files::read(path("out.bin")));
    QVERIFY(report.ok());
    QCOMPARE(report.header.boot_file_size, 300u);
    QCOMPARE(report.header.app_file_size, 4u);
    QCOMPARE(m.form->header_info.boot_file_size, 300u);
}

void tst_package_window::output_that_cannot_be_written()
{
    maker m;
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    m.start(path("no-such-folder/out.bin"));
    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|保存文件失败")});
    QCOMPARE(m.output_path->text(), path("no-such-folder/out.bin"));
}

void tst_package_window::short_write_removes_the_cut_off_package()
{
    maker m;
    QVERIFY(package_files::write(boot_file, package_files::random(20000, 3)));
    m.choose_boot(boot_file);
    m.choose_app(app_file);
    const QString dump = m.browser->toPlainText();

    // The file size limit cuts the one write short, as a full disk would.
    rlimit old_limit{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit;
    limit.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    m.start(path("out.bin"));
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    QCOMPARE(m.box_texts(), QStringList{QStringLiteral("错误|保存文件失败")});
    QVERIFY(!QFile::exists(path("out.bin")));
    QCOMPARE(m.browser->toPlainText(), dump);
}

void tst_package_window::closing_hands_back_to_the_main_window()
{
    MainWindow main_window;
    main_window.show();
    make_package_t *package_window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("make_package_t") &&
            widget->parent() == nullptr && !widget->isVisible())
            package_window = qobject_cast<make_package_t *>(widget);
    }
    QVERIFY(package_window);
    child<QAction>(&main_window, "action_package")->trigger();
    QVERIFY(package_window->isVisible());
    QVERIFY(!main_window.isVisible());

    bool main_shown_during_close = false;
    connect(package_window, &make_package_t::return_mainwindow_siganal, this, [&] {
        main_shown_during_close = main_window.isVisible() && package_window->isVisible();
    });
    QVERIFY(package_window->close());
    QVERIFY(main_shown_during_close);
    QVERIFY(main_window.isVisible());
    QVERIFY(!package_window->isVisible());
}

QTEST_MAIN(tst_package_window)
#include "tst_package_window.moc"
