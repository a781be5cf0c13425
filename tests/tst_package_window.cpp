// The package maker window and its header form, driven through their
// widgets on real files; boxes and file dialogs answered by the recorder,
// and a few through the real dialogs.
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "hex_dump.h"
#include "make_package_t.h"
#include "modal_answerer.h"
#include "package_files.h"
#include "package_reader.h"
#include "window_driver.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

// One maker window; `dialogs` answers its boxes and file dialogs unless the
// test asks for the real ones.
struct maker
{
    explicit maker(bool real_dialogs = false)
    {
        if (!real_dialogs)
            dialogs.reset(new dialog_recorder);
        window.show();
    }
    std::unique_ptr<dialog_recorder> dialogs;
    make_package_t window;
    config_header_t *form = window.header_window();
    QLineEdit *boot_path = child<QLineEdit>(&window, "line_boot_input_file_dir");
    QLineEdit *output_path = child<QLineEdit>(&window, "line_output_file_dir");
    QTextBrowser *browser = child<QTextBrowser>(&window, "textBrowser");

    void press(const char *button, const QString &answer = QString())
    {
        if (dialogs)
            dialogs->file_answers = QStringList{answer};
        child<QPushButton>(&window, button)->click();
    }
    void choose(const QString &boot, const QString &app)
    {
        press("pushbutton_open_boot_file", boot);
        press("pushbutton_open_app_file", app);
        dialogs->boxes.clear();
    }
    void start(const QString &output) { press("pushbutton_start_make", output); }
    void set_text(const char *name, const QString &text)
    {
        child<QLineEdit>(form, name)->setText(text);
    }
    void type_check_len(const QString &text)
    {
        QLineEdit *field = child<QLineEdit>(form, "lineedit_check_len");
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Ticks the images to carry and applies the form.
    void apply(int images)
    {
        child<QRadioButton>(form, "radiobutton_boot")->setChecked(images & 1);
        child<QRadioButton>(form, "radiobutton_app")->setChecked(images & 2);
        child<QPushButton>(form, "pusshbutton_apply")->click();
    }
    // "title|text" of each box, behind "!" for a warning.
    QStringList boxes() const
    {
        QStringList texts;
        for (const dialog_recorder::box &box : dialogs->boxes)
            texts << (box.kind == user_dialogs::box_kind::warning ? "!" : "") + box.title + '|' +
                         box.text;
        return texts;
    }
};

} // namespace

class tst_package_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        boot_file = dir.filePath("boot.bin");
        app_file = dir.filePath("app.bin");
        out_file = dir.filePath("out.bin");
    }
    void init()
    {
        QVERIFY(package_files::write(boot_file, package_files::counting(12)));
        QVERIFY(package_files::write(app_file, package_files::counting(10)));
        QVERIFY(package_files::write(out_file, "old package"));
    }
    void check_length_field_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("normalised"); // empty: refused with a box
        QTest::addColumn<quint32>("value");
        auto row = [](const char *typed, const char *normalised, quint32 value) {
            QTest::newRow(typed) << typed << normalised << value;
        };
        row("5", "0x0005", 5);
        row("0X1f", "0x001f", 31);
        row("0x", "0x0000", 0);
        row("12g- 3456789", "0x123456", 0x123456); // keystrokes refused after six digits
        for (const char *refused : {"00x1", "0xX1"})
            row(refused, "", 0);
    }
    void check_length_field()
    {
        QFETCH(QString, typed);
        QFETCH(QString, normalised);
        QFETCH(quint32, value);
        // The real box: the field must be empty while it is open, and stay
        // empty when the box's focus change finishes the editing once more.
        config_header_t form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QLineEdit *field = child<QLineEdit>(&form, "lineedit_check_len");
        QString while_open = "never seen";
        modal_answerer answerer([&](QMessageBox *) { while_open = field->text(); });
        field->setFocus();
        field->clear();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QApplication::processEvents();
        QCOMPARE(field->text(), normalised);
        QCOMPARE(answerer.boxes.size(), normalised.isEmpty() ? 1 : 0);
        if (normalised.isEmpty()) {
            QCOMPARE(answerer.boxes[0].title + '|' + answerer.boxes[0].text, "输入错误|请重新输入");
            QCOMPARE(while_open, QString());
        }
        QCOMPARE(form.get_header_info().check_len, 5u); // only apply stores it
        child<QPushButton>(&form, "pusshbutton_apply")->click();
        QCOMPARE(form.get_header_info().check_len, value);
    }
    void form_fills_the_record_on_apply_only()
    {
        maker m;
        m.form->header_info.boot_file_size = 1234;
        QAction *configure = child<QAction>(&m.window, "action_config_header");
        configure->trigger();
        QVERIFY(m.form->isVisible());
        // The minimal platform (Windows under Wine) activates no window.
        if (QGuiApplication::platformName() != QLatin1String("minimal")) {
            m.window.activateWindow(); // the form behind it comes to the front again
            QTRY_VERIFY(m.window.isActiveWindow());
            configure->trigger();
            QTRY_VERIFY(m.form->isActiveWindow());
        }
        const QString product = QString::fromUtf8("产品\xf0\x9f\x98\x80");
        m.set_text("lineedit_product_info", product);
        m.set_text("lineedit_boot_version", QString());
        m.set_text("lineedit_app_version", " v9 ");
        for (const char *length : {"product_info_len", "boot_version_len", "app_version_len"})
            QCOMPARE(
                child<QLineEdit>(m.form, (QByteArray("lineedit_") + length).constData())->text(),
                QString(length[0] == 'b' ? "0" : "4"));
        m.type_check_len("1000");
        QTest::mouseClick(child<QRadioButton>(m.form, "radiobutton_boot"), Qt::LeftButton);
        // Escape closes it as its close button does: the record stays, the widgets keep the
        // edits for the next apply, which Enter on the focused button makes.
        QTest::keyClick(child<QLineEdit>(m.form, "lineedit_app_version"), Qt::Key_Escape);
        QVERIFY(!m.form->isVisible());
        QCOMPARE(m.form->get_header_info().product_info, QStringLiteral("K58TQE"));
        m.form->show();
        auto *apply = child<QPushButton>(m.form, "pusshbutton_apply");
        apply->setFocus();
        QTest::keyClick(apply, Qt::Key_Return);
        QVERIFY(!m.form->isVisible());
        const header_info_t h = m.form->get_header_info();
        QCOMPARE(QStringList({h.product_info, h.boot_version, h.app_version}),
                 QStringList({product, "", " v9 "}));
        QCOMPARE(QVector<quint32>({h.product_info_len, h.boot_version_len, h.app_version_len,
                                   h.check_len, h.boot_upgrade_flag, h.app_upgrade_flag,
                                   h.boot_file_size}),
                 QVector<quint32>({4, 0, 4, 0x1000, upgrade_flag_no, upgrade_flag_yes, 1234}));
        m.apply(1);
        QCOMPARE(m.form->get_header_info().boot_upgrade_flag, upgrade_flag_yes);
        QCOMPARE(m.form->get_header_info().app_upgrade_flag, upgrade_flag_no);
    }
    void choosing_measures_and_dumps()
    {
        maker m;
        QVERIFY(package_files::write(app_file, package_files::counting(33, 0)));
        m.press("pushbutton_open_app_file", app_file);
        QCOMPARE(m.form->header_info.app_file_size, 33u);
        QVERIFY(m.browser->toPlainText().endsWith("18 19 1A 1B 1C 1D 1E 1F\n20"));
        const dialog_recorder::file_request request = m.dialogs->file_requests.value(0);
        QCOMPARE(request.caption + '|' + request.dir + '|' + request.filter,
                 "Open File|" + QDir::currentPath() + '|');

        // A dump stops with a note after max_dump_bytes.
        const int most = make_package_t::max_dump_bytes;
        const QByteArray big = package_files::random(most + 5, 9);
        QVERIFY(package_files::write(boot_file, big));
        m.press("pushbutton_open_boot_file", boot_file);
        const QString dump = m.browser->toPlainText();
        QCOMPARE(
            dump,
            hex_dump_text(big.left(most)) +
                QStringLiteral("\n……（仅显示前 %1 字节，共 %2 字节）").arg(most).arg(big.size()));

        // A directory has a size but cannot be read; a cancel empties the path.
        m.press("pushbutton_open_boot_file", dir.path());
        QCOMPARE(m.boot_path->text(), dir.path());
        QCOMPARE(qint64(m.form->header_info.boot_file_size), QFileInfo(dir.path()).size());
        m.press("pushbutton_open_boot_file", QString());
        QCOMPARE(m.boot_path->text(), QString());
        // Too large for the header's 32 bits: refused, nothing recorded.
        QFile sparse(dir.filePath("big.bin"));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(5) << 30));
        m.press("pushbutton_open_app_file", sparse.fileName());
        QCOMPARE(m.form->header_info.app_file_size, 33u);
        QCOMPARE(m.browser->toPlainText(), dump);
        const QStringList boxes = m.boxes();
        QVERIFY(boxes.value(0).startsWith(QStringLiteral("错误信息|文件打开失败\r\n")) &&
                boxes[0].size() > 14);
        QCOMPARE(boxes.mid(1),
                 QStringList({"错误信息|请选择一个文件", "错误信息|文件过大，无法制作升级包"}));

        // An empty file gives an empty dump.
        QVERIFY(package_files::write(boot_file, QByteArray()));
        m.press("pushbutton_open_boot_file", boot_file);
        QCOMPARE(m.browser->toPlainText(), QString());
    }
    void builds_the_package()
    {
        maker m;
        m.start(out_file);
        m.dialogs->file_answers = QStringList{boot_file};
        auto *open_boot = child<QPushButton>(&m.window, "pushbutton_open_boot_file");
        open_boot->setFocus();
        QTest::keyClick(open_boot, Qt::Key_Return); // Enter presses the focused button
        m.start(out_file);
        m.apply(1); // boot alone needs no app path
        m.start(out_file);
        QCOMPARE(m.boxes(), QStringList({"!错误|boot文件路径未输入", "!错误|app文件路径未输入"}));
        // Only the app image carried: no boot path needed, until boot is ticked.
        m.choose(QString(), app_file);
        m.apply(2);
        m.start(out_file);
        QVERIFY(read_package(package_files::read(out_file)).ok());
        m.apply(3);
        m.start(out_file);
        QCOMPARE(m.boxes(), QStringList{"!错误|boot文件路径未输入"});
        // Cancelling the save dialog empties the output path, says nothing.
        m.choose(boot_file, app_file);
        m.start(QString());
        QCOMPARE(m.output_path->text(), QString());
        m.start(out_file);
        QVERIFY2(m.dialogs->boxes.isEmpty(), qPrintable(m.boxes().join(',')));
        const dialog_recorder::file_request save = m.dialogs->file_requests.last();
        QCOMPARE(save.caption + '|' + save.dir + '|' + save.filter,
                 QStringLiteral("另存||bin文件(*.bin)"));
        const QByteArray written = package_files::read(out_file);
        // 22 image bytes at check length 5: four full blocks and one of 2 bytes,
        // the third holding boot bytes 11, 12 and app bytes 1 to 3.
        QCOMPARE(written.mid(1008, 12), QByteArray::fromHex("0000000cffffffff0000000a"));
        QCOMPARE(written.mid(1024 + 14, 7), QByteArray::fromHex("0b0c010203001d"));
        QVERIFY(read_package(written).ok());
        QCOMPARE(m.browser->toPlainText(), hex_dump_text(written));

        // Images rebuilt since they were chosen: the build measures them again.
        QVERIFY(package_files::write(boot_file, package_files::counting(300)));
        m.start(out_file);
        QCOMPARE(read_package(package_files::read(out_file)).header.boot_file_size, 300u);
        QCOMPARE(m.form->header_info.boot_file_size, 300u);
        // Neither image carried: the default header and an empty body (sums
        // worked out from those of sizes 0, 0xce03 and 0xced4).
        m.apply(0);
        m.start(out_file);
        QCOMPARE(package_files::read(out_file).mid(1016),
                 QByteArray::fromHex("0000000aff55ce3a0000cf42"));
    }
    void refused_before_the_save_dialog_data()
    {
        QTest::addColumn<QString>("check_len");
        QTest::addColumn<QVector<int>>(
            "lengths"); // of product, boot and app texts; -1: as they are; -2: "ab中"
        QTest::addColumn<qint64>("app_size"); // the app image grown after it was chosen
        QTest::addColumn<QString>("box");     // empty: the package is built
        const auto row = [](const char *name, const char *check_len, QVector<int> lengths,
                            const QString &box, qint64 app_size = 0) {
            QTest::newRow(name) << check_len << lengths << app_size << box;
        };
        row("x1 reads as 0", "x1", {-1, -1, -1},
            "固件校验长度为0，无法制作升级包\r\n请在头部信息配置中输入大于0的校验长度");
        row("full slots", "5", {60, 30, 38}, QString());
        row("product info 61", "5", {61, -1, -1}, "产品信息过长：61个字符，最多60个字符");
        row("boot version 31", "5", {-1, 31, -1}, "boot版本过长：31个字符，最多30个字符");
        row("app version 39", "5", {-1, -1, 39}, "app版本过长：39个字符，最多38个字符");
        row("boot version beyond Latin-1", "5", {-1, -2, -1},
            "boot版本含有无法写入升级包的字符“中”（第3个字符）\r\n头部信息只能写入Latin-1字符");
        // Each image byte takes three package bytes at check length 1.
        const qint64 big = 0x2AAB0000;
        row("package over the limit", "1", {-1, -1, -1},
            QStringLiteral("升级包过大：将有%1字节，最多可制作%2字节\r\n"
                           "请选用较小的文件或较大的固件校验长度")
                .arg(1024 + 3 * (12 + big) + 2 + 2)
                .arg(0x7FFF0000),
            big);
    }
    void refused_before_the_save_dialog()
    {
        QFETCH(QString, check_len);
        QFETCH(QVector<int>, lengths);
        QFETCH(qint64, app_size);
        QFETCH(QString, box);
        maker m;
        m.choose(boot_file, app_file);
        m.type_check_len(check_len);
        const char *texts[] = {"lineedit_product_info", "lineedit_boot_version",
                               "lineedit_app_version"};
        for (int i = 0; i < 3; ++i) {
            if (lengths[i] != -1)
                m.set_text(texts[i],
                           lengths[i] < 0 ? QStringLiteral("ab中") : QString(lengths[i], 'v'));
        }
        m.apply(3);
        QFile app(app_file);
        QVERIFY(!app_size || (app.open(QIODevice::ReadWrite) && app.resize(app_size))); // sparse
        const QString dump = m.browser->toPlainText();
        m.start(out_file);
        if (box.isEmpty()) {
            QVERIFY2(m.dialogs->boxes.isEmpty(), qPrintable(m.boxes().join(',')));
            QVERIFY(read_package(package_files::read(out_file)).ok());
            return;
        }
        QCOMPARE(m.boxes(), QStringList{"!错误|" + box});
        QCOMPARE(m.dialogs->file_requests.size(), 2);
        QCOMPARE(package_files::read(out_file), QByteArray("old package"));
        QCOMPARE(m.browser->toPlainText(), dump);
    }
    void failures_during_the_build()
    {
        maker m;
        QVERIFY(package_files::write(boot_file, package_files::random(20000, 3)));
        m.choose(boot_file, app_file);
        // A message too long for the bar is cut in the middle: its end stays in sight, and the
        // tooltip holds it whole.
        QStatusBar *bar = m.window.statusBar();
        QPixmap shown[2];
        for (const char end : {'a', 'b'}) {
            m.start(dir.filePath(QString(120, 'p') + end + ".bin"));
            shown[end - 'a'] = bar->grab();
        }
        QVERIFY(bar->currentMessage().startsWith(QStringLiteral("升级包已写入 ")));
        // The minimal platform (Windows under Wine here) draws no text.
        QVERIFY(shown[0].toImage() != shown[1].toImage() ||
                QGuiApplication::platformName() == QLatin1String("minimal"));
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), bar->mapToGlobal(QPoint(1, 1)));
        QCOMPARE(QApplication::sendEvent(bar, &tip) ? QToolTip::text() : "", bar->currentMessage());
        // Every failure replaces the status of the build before, and says why.
        QStringList statuses;
        const QString dump = m.browser->toPlainText();
        m.start(dir.filePath("no-such-folder/out.bin"));
        statuses << bar->currentMessage();
        QCOMPARE(m.output_path->text(), dir.filePath("no-such-folder/out.bin"));
#ifdef Q_OS_UNIX
        // The file size limit cuts the write short, as a full disk would: the
        // package that was there stays whole.
        QVERIFY(package_files::write(out_file, "old package"));
        {
            const package_files::disk_full_after full(4096);
            m.start(out_file);
        }
        statuses << bar->currentMessage();
        QCOMPARE(package_files::read(out_file), QByteArray("old package"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter("out"),
                 QStringList{"out.bin"}); // no temporary file left beside it
#endif
        // An image gone since it was chosen stops the build.
        QVERIFY(package_files::write(out_file, "old package"));
        QVERIFY(QFile::remove(app_file));
        m.start(out_file);
        statuses << bar->currentMessage();
        m.start(QString());
        statuses << bar->currentMessage();
        // Each with the system's reason, as the system gives it.
        QFile no_folder(dir.filePath("no-such-folder/out.bin")), gone(app_file);
        QVERIFY(!no_folder.open(QIODevice::WriteOnly) && !gone.open(QIODevice::ReadOnly));
        QStringList texts{"!错误|保存文件失败\r\n" + no_folder.errorString(),
                          "错误信息|文件打开失败\r\n" + gone.errorString()};
#ifdef Q_OS_UNIX
        texts.insert(1, "!错误|保存文件失败\r\n" + QString::fromLocal8Bit(strerror(EFBIG)));
#endif
        QCOMPARE(m.boxes(), texts);
        for (QString &text : texts)
            text = "升级包未写入：" + text.section('|', 1).replace("\r\n", "，");
        QCOMPARE(statuses, texts << "升级包未写入：未选择输出文件");
        QCOMPARE(package_files::read(out_file), QByteArray("old package"));
        QCOMPARE(m.browser->toPlainText(), dump);
    }
    void through_the_real_dialogs()
    {
        maker m(true);
        modal_answerer answerer;
        m.start(out_file);
        answerer.file_answers << boot_file << app_file << dir.filePath("out"); // .bin is added
        m.press("pushbutton_open_boot_file");
        m.press("pushbutton_open_app_file");
        m.start(out_file);
        QCOMPARE(answerer.file_dialogs, QStringList({"Open File", "Open File", "另存"}));
        QCOMPARE(answerer.boxes.size(), 2); // the start check, then replacing out.bin
        QCOMPARE(answerer.boxes[0].text, QStringLiteral("boot文件路径未输入"));
        QCOMPARE(m.output_path->text(), out_file);
        const QByteArray package = package_files::read(out_file);
        QVERIFY(read_package(package).ok());
        QCOMPARE(m.window.statusBar()->currentMessage(),
                 QStringLiteral("升级包已写入 %1，共 %2 字节")
                     .arg(QDir::toNativeSeparators(out_file))
                     .arg(package.size()));
        if (QGuiApplication::platformName() == QLatin1String("minimal"))
            return; // it places no window
        // Within the screen's free area (800 x 600 offscreen in Qt 5, 800 x 800 in Qt 6): made
        // to fit where it is taller, at its specified size where it fits.
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        const int frame = m.window.frameGeometry().height() - m.window.height();
        QVERIFY(free.contains(m.window.frameGeometry()));
        QCOMPARE(m.window.width(), 637);
        QCOMPARE(m.window.height() < 631, free.height() < 631 + frame);
    }

private:
    QTemporaryDir dir;
    QString boot_file, app_file, out_file;
};

QTEST_MAIN(tst_package_window)
#include "tst_package_window.moc"
