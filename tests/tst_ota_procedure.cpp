// The upgrade procedure in the main window, with the test playing the
// device on the other end of a pseudo-terminal, frame by frame.
#include "dialog_recorder.h"
#include "event_wait.h"
#include "main_window_driver.h"
#include "mainwindow.h"
#include "ota_frame.h"
#include "pty_pair.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString notice = QStringLiteral("提示信息");
const QString error_title = QStringLiteral("错误信息");
const QString choose_a_file = QStringLiteral("请选择一个文件");
const QString file_chosen_while_running =
    QStringLiteral("OTA过程中进行了文件选择操作\r\n请重新开始OTA");

QByteArray u32(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (24 - 8 * i));
    return bytes;
}

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 256) & 0xFF);
    return bytes;
}

// A recorder that can run code while the file dialog is open, as the real
// dialog's event loop would.
class hooked_recorder : public dialog_recorder
{
public:
    std::function<void()> while_dialog_open;
    QString open_file_name(QWidget *parent, const QString &caption, const QString &dir,
                           const QString &filter) override
    {
        if (while_dialog_open)
            while_dialog_open();
        return dialog_recorder::open_file_name(parent, caption, dir, filter);
    }
};

} // namespace

class tst_ota_procedure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void single_and_double_press();
    void upgrade_sends_exact_frames_data();
    void upgrade_sends_exact_frames();
    void refusal_then_late_acknowledgement();
    void second_and_third_start_response();
    void start_response_shapes_data();
    void start_response_shapes();
    void answers_without_a_sliced_image();
    void answers_while_file_dialog_is_open();
    void file_that_cannot_be_loaded_data();
    void file_that_cannot_be_loaded();
    void real_file_dialog_and_box();

private:
    QString write_file(const QString &name, const QByteArray &content);
    void choose(const QString &path);
    QByteArray next_frame(int timeout_ms = 2000);
    bool nothing_sent(int ms = 60);
    void answer(quint8 command, const QByteArray &data);
    void start_transfer(const QByteArray &image, quint32 frame_size);

    QTemporaryDir dir;
    std::unique_ptr<pty_pair> line;
    std::unique_ptr<hooked_recorder> recorder;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<main_window_driver> driver;
    QByteArray pending;
};

void tst_ota_procedure::initTestCase()
{
    Q_INIT_RESOURCE(images);
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    QVERIFY(dir.isValid());
}

void tst_ota_procedure::init()
{
    line = std::make_unique<pty_pair>();
    QVERIFY(line->is_valid());
    recorder = std::make_unique<hooked_recorder>();
    window = std::make_unique<MainWindow>();
    driver = std::make_unique<main_window_driver>(window.get());
    QVERIFY(driver->connect_to(line->slave_path()));
    pending.clear();
}

void tst_ota_procedure::cleanup()
{
    driver.reset();
    window.reset();
    recorder.reset();
    line.reset();
}

QString tst_ota_procedure::write_file(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void tst_ota_procedure::choose(const QString &path)
{
    const int requests = recorder->file_requests.size();
    recorder->file_answers << path;
    driver->single_press();
    QVERIFY(wait_for([&] { return recorder->file_requests.size() == requests + 1; }));
}

// The next frame the tool wrote, cut by its length field.
QByteArray tst_ota_procedure::next_frame(int timeout_ms)
{
    for (;;) {
        const QByteArray frame = ota_frame::take_frame_by_length(pending);
        if (!frame.isEmpty())
            return frame;
        const QByteArray more = line->read_master(1, timeout_ms);
        if (more.isEmpty())
            return QByteArray();
        pending.append(more);
    }
}

bool tst_ota_procedure::nothing_sent(int ms)
{
    wait_for([] { return false; }, ms);
    pending.append(line->read_available());
    return pending.isEmpty();
}

void tst_ota_procedure::answer(quint8 command, const QByteArray &data)
{
    QVERIFY(line->write_master(ota_frame::build_frame(command, data)));
}

void tst_ota_procedure::start_transfer(const QByteArray &image, quint32 frame_size)
{
    choose(write_file(QStringLiteral("image.bin"), image));
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(quint32(image.size())));
    answer(ota_frame::command_start, u32(frame_size));
}

void tst_ota_procedure::single_and_double_press()
{
    // Two presses within 200 ticks: no file choice, the double press runs.
    driver->double_press();
    QCOMPARE(recorder->boxes.size(), 1);
    QCOMPARE(recorder->boxes.first().title, notice);
    QCOMPARE(recorder->boxes.first().text, choose_a_file);
    wait_for([] { return false; }, 400);
    QVERIFY(recorder->file_requests.isEmpty());

    // One press: the file choice comes after the pause, not at once.
    driver->single_press();
    wait_for([] { return false; }, 50);
    QVERIFY(recorder->file_requests.isEmpty());
    QVERIFY(wait_for([&] { return recorder->file_requests.size() == 1; }, 3000));
    // Cancelled: "请选择一个文件" again, now as an error.
    QCOMPARE(recorder->boxes.size(), 2);
    QCOMPARE(recorder->boxes.last().title, error_title);
    QCOMPARE(recorder->boxes.last().text, choose_a_file);
    QVERIFY(nothing_sent());
}

void tst_ota_procedure::upgrade_sends_exact_frames_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("frame_size");
    QTest::addColumn<QList<int>>("progress");

    QTest::newRow("1000 by 256") << 1000 << 256u << QList<int>{50, 75, 100, 100};
    QTest::newRow("1024 by 256") << 1024 << 256u << QList<int>{50, 75, 100, 100};
    QTest::newRow("empty") << 0 << 256u << QList<int>{100};
    QTest::newRow("frame larger than image") << 300 << 4096u << QList<int>{100};
}

void tst_ota_procedure::upgrade_sends_exact_frames()
{
    QFETCH(int, size);
    QFETCH(quint32, frame_size);
    QFETCH(QList<int>, progress);
    const QByteArray image = patterned(size);
    const QString path = write_file(QStringLiteral("exact.bin"), image);
    choose(path);
    QCOMPARE(driver->status_label()->text(), QStringLiteral("选择OTA升级文件:") + path);

    for (int round = 0; round < 2; ++round) {
        // The image survives a success: a second double press goes again.
        driver->double_press();
        QCOMPARE(next_frame(), ota_frame::build_start_frame(quint32(size)));
        answer(ota_frame::command_start, u32(frame_size));

        QByteArray received;
        QList<int> seen;
        for (;;) {
            const QByteArray frame = next_frame();
            QVERIFY(!frame.isEmpty());
            QCOMPARE(ota_frame::check_received(frame), ota_frame::check_result::accepted);
            if (ota_frame::command_of(frame) == ota_frame::command_end) {
                QCOMPARE(frame, QByteArray::fromHex("515A0303000101B35443"));
                break;
            }
            QCOMPARE(ota_frame::command_of(frame), ota_frame::command_data);
            QCOMPARE(ota_frame::ba_to_u32(frame.mid(6, 4)), quint32(received.size()));
            const int slice = qMin(int(frame_size), size - received.size());
            QCOMPARE(ota_frame::ba_to_u16(frame.mid(4, 2)), quint16(slice + 4));
            received.append(frame.mid(10, slice));
            if (seen.isEmpty()) {
                QCOMPARE(driver->status_label()->text(), QStringLiteral("开始OTA传输"));
                QVERIFY(!driver->progress_bar()->isHidden());
                QCOMPARE(driver->progress_bar()->value(), 0);
            }
            answer(ota_frame::command_data, QByteArray(1, 0x01));
            QVERIFY(wait_for([&] {
                pending.append(line->read_available());
                return !pending.isEmpty();
            }));
            seen << driver->progress_bar()->value();
        }
        QCOMPARE(received, image);
        QCOMPARE(seen, progress);
        answer(ota_frame::command_end, QByteArray(1, 0x01));
        QVERIFY(wait_for([&] { return driver->status_label()->text() == "OTA成功"; }));
        QVERIFY(driver->progress_bar()->isHidden());
    }
    QVERIFY(recorder->boxes.isEmpty());
}

void tst_ota_procedure::refusal_then_late_acknowledgement()
{
    start_transfer(patterned(1000), 256);
    QCOMPARE(ota_frame::ba_to_u32(next_frame().mid(6, 4)), 0u);
    answer(ota_frame::command_data, QByteArray(1, 0x00));
    QVERIFY(wait_for([&] { return recorder->boxes.size() == 1; }));
    QCOMPARE(recorder->boxes.first().text, QStringLiteral("下位机返回OTA失败信息"));
    QVERIFY(nothing_sent());
    // The progress bar stays at its last value.
    QVERIFY(!driver->progress_bar()->isHidden());

    // The refusal ended the upgrade: a late acknowledgement sends nothing.
    answer(ota_frame::command_data, QByteArray(1, 0x01));
    QVERIFY(nothing_sent());

    // The upgrade is over: the next double press starts, it does not cancel.
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
    QCOMPARE(recorder->boxes.size(), 1);
}

void tst_ota_procedure::second_and_third_start_response()
{
    start_transfer(patterned(1000), 256);
    QCOMPARE(ota_frame::ba_to_u32(next_frame().mid(6, 4)), 0u);
    answer(ota_frame::command_data, QByteArray(1, 0x01));
    QCOMPARE(ota_frame::ba_to_u32(next_frame().mid(6, 4)), 256u);

    answer(ota_frame::command_start, u32(256));
    QVERIFY(wait_for([&] { return recorder->boxes.size() == 1; }));
    QCOMPARE(recorder->boxes.first().text, QStringLiteral("接受到错误的升级提醒错误信息"));
    QVERIFY(nothing_sent());

    // A third one was not asked for; after a new start request the
    // transfer starts over, with the new frame size.
    answer(ota_frame::command_start, u32(100));
    QVERIFY(nothing_sent());
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
    answer(ota_frame::command_start, u32(100));
    const QByteArray first = next_frame();
    QCOMPARE(ota_frame::ba_to_u32(first.mid(6, 4)), 0u);
    QCOMPARE(first.mid(10, 100), patterned(1000).left(100));
    QCOMPARE(first.size(), 100 + 13);

    // A double press while running cancels: nothing goes to the device.
    driver->double_press();
    QCOMPARE(recorder->boxes.size(), 2);
    QCOMPARE(recorder->boxes.last().text,
             QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA"));
    QVERIFY(nothing_sent());
}

void tst_ota_procedure::start_response_shapes_data()
{
    QTest::addColumn<int>("image_size");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("first_slice");

    const QStringList zero{QStringLiteral("下位机返回的每帧固件大小不能为0")};
    const QStringList short_response = QStringList{QStringLiteral("ba_to_u32执行错误")} + zero;
    QTest::newRow("frame size 0") << 1000 << u32(0) << zero << -1;
    QTest::newRow("no data bytes") << 1000 << QByteArray() << short_response << -1;
    // Checksum and tail must not be read as a frame size.
    QTest::newRow("one data byte") << 1000 << QByteArray(1, 0x01) << short_response << -1;
    QTest::newRow("three data bytes") << 1000 << u32(256).left(3) << short_response << -1;
    QTest::newRow("extra bytes ignored") << 1000 << u32(256) + "xyz" << QStringList() << 256;
    QTest::newRow("slice too large for a frame")
        << 100000 << u32(70000)
        << QStringList{QStringLiteral("下位机返回的每帧固件大小70000超过65531字节")} << -1;
    QTest::newRow("large frame size, small image") << 1000 << u32(70000) << QStringList() << 1000;
}

void tst_ota_procedure::start_response_shapes()
{
    QFETCH(int, image_size);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, boxes);
    QFETCH(int, first_slice);

    start_transfer(patterned(image_size), 0);
    // start_transfer answered with frame size 0 already; take that box away
    // and answer again once the double press has cancelled.
    QVERIFY(wait_for([&] { return recorder->boxes.size() == 1; }));
    driver->double_press();
    recorder->boxes.clear();
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(quint32(image_size)));

    answer(ota_frame::command_start, data);
    if (first_slice < 0) {
        QVERIFY(wait_for([&] { return recorder->boxes.size() == boxes.size(); }));
        for (int i = 0; i < boxes.size(); ++i)
            QCOMPARE(recorder->boxes.at(i).text, boxes.at(i));
        QVERIFY(nothing_sent());
        // An acknowledgement now has nothing to slice by.
        answer(ota_frame::command_data, QByteArray(1, 0x01));
        QVERIFY(nothing_sent());
        // Still marked running: the double press cancels.
        driver->double_press();
        QCOMPARE(recorder->boxes.last().text,
                 QStringLiteral("正在进行的OTA已被取消OTA\r\n请重新开始OTA"));
        return;
    }
    const QByteArray frame = next_frame();
    QCOMPARE(frame.size(), first_slice + 13);
    QVERIFY(recorder->boxes.isEmpty());
}

void tst_ota_procedure::answers_without_a_sliced_image()
{
    // Before any file: a start response and an acknowledgement are ignored.
    // (One frame is taken per read, so each goes in a read of its own.)
    answer(ota_frame::command_start, u32(256));
    QVERIFY(nothing_sent());
    answer(ota_frame::command_data, QByteArray(1, 0x01));
    QVERIFY(nothing_sent());
    QVERIFY(recorder->boxes.isEmpty());

    // Image loaded, no start response yet: an acknowledgement cuts nothing.
    const QString path = write_file(QStringLiteral("a.bin"), patterned(1000));
    choose(path);
    answer(ota_frame::command_data, QByteArray(1, 0x01));
    QVERIFY(nothing_sent());
    // And the ignored start response did not mark an upgrade as running.
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(1000));
    answer(ota_frame::command_start, u32(256));
    QCOMPARE(next_frame().size(), 256 + 13);

    // A new file mid-transfer: a late acknowledgement must not cut the new
    // image at the old offsets.
    choose(write_file(QStringLiteral("b.bin"), patterned(5000)));
    QCOMPARE(recorder->boxes.size(), 1);
    QCOMPARE(recorder->boxes.first().text, file_chosen_while_running);
    answer(ota_frame::command_data, QByteArray(1, 0x01));
    QVERIFY(nothing_sent());
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(5000));
}

void tst_ota_procedure::answers_while_file_dialog_is_open()
{
    start_transfer(patterned(1000), 256);
    QCOMPARE(next_frame().size(), 256 + 13);

    // The old image is gone once the dialog opens; the answers that come
    // meanwhile find nothing to cut.
    bool sent_during_dialog = true;
    recorder->while_dialog_open = [&] {
        answer(ota_frame::command_data, QByteArray(1, 0x01));
        sent_during_dialog = !nothing_sent(100);
    };
    choose(write_file(QStringLiteral("new.bin"), patterned(600)));
    QVERIFY(!sent_during_dialog);
    QCOMPARE(recorder->boxes.size(), 1);
    QCOMPARE(recorder->boxes.first().text, file_chosen_while_running);

    // Cancelled instead: no image, and the notice still comes.
    recorder->boxes.clear();
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(600));
    answer(ota_frame::command_start, u32(256));
    QCOMPARE(next_frame().size(), 256 + 13);
    recorder->while_dialog_open = [&] {
        answer(ota_frame::command_data, QByteArray(1, 0x01));
        sent_during_dialog = !nothing_sent(100);
    };
    choose(QString());
    QVERIFY(!sent_during_dialog);
    QCOMPARE(recorder->boxes.size(), 1);
    QCOMPARE(recorder->boxes.first().text, file_chosen_while_running);
    driver->double_press();
    QCOMPARE(recorder->boxes.last().text, choose_a_file);
    QVERIFY(nothing_sent());
}

void tst_ota_procedure::file_that_cannot_be_loaded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text_start");

    QTest::newRow("missing") << "missing.bin" << qint64(-1) << QStringLiteral("文件打开失败");
    // Sparse files: nothing of them is read.
    QTest::newRow("beyond 32 bits")
        << "huge.bin" << (qint64(1) << 32) + 5 << QStringLiteral("文件过大：4294967301字节");
    QTest::newRow("beyond memory")
        << "big.bin" << (qint64(3) << 30) << QStringLiteral("文件过大：3221225472字节");
}

void tst_ota_procedure::file_that_cannot_be_loaded()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, text_start);

    const QString path = dir.filePath(name);
    if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(size))
            QSKIP("no sparse files here");
    }
    // A good image first, so that the failed choice visibly discards it.
    choose(write_file(QStringLiteral("good.bin"), patterned(10)));
    choose(path);
    QCOMPARE(recorder->boxes.size(), 1);
    QCOMPARE(recorder->boxes.first().title, error_title);
    QVERIFY2(recorder->boxes.first().text.startsWith(text_start),
             qPrintable(recorder->boxes.first().text));
    QVERIFY(recorder->boxes.first().text.size() > text_start.size());
    driver->double_press();
    QCOMPARE(recorder->boxes.last().text, choose_a_file);
    QVERIFY(nothing_sent());
    QFile::remove(path);
}

void tst_ota_procedure::real_file_dialog_and_box()
{
    recorder.reset(); // the real dialogs from here on
    // The dialog opens in the current directory: a small one lists fast.
    const QString previous_dir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    struct restore_dir
    {
        QString path;
        ~restore_dir() { QDir::setCurrent(path); }
    } restore{previous_dir};
    const QString path = write_file(QStringLiteral("real.bin"), patterned(20));
    QString dialog_title;
    QString box_title;
    QString box_text;
    int step = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            dialog_title = dialog->windowTitle();
            if (step == 0) {
                dialog->reject();
            } else {
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
            ++step;
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            box_title = box->windowTitle();
            box_text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(10);
    // A watchdog: a modal left open fails the test instead of hanging it.
    QTimer::singleShot(60000, &poll, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });

    driver->single_press();
    QVERIFY(wait_for([&] { return !box_text.isEmpty(); }, 30000));
    QCOMPARE(dialog_title, QStringLiteral("Open File"));
    QCOMPARE(box_title, error_title);
    QCOMPARE(box_text, choose_a_file);

    driver->single_press();
    QVERIFY(wait_for([&] { return driver->status_label()->text().startsWith("选择"); }, 30000));
    QCOMPARE(driver->status_label()->text(), QStringLiteral("选择OTA升级文件:") + path);
    driver->double_press();
    QCOMPARE(next_frame(), ota_frame::build_start_frame(20));
}

QTEST_MAIN(tst_ota_procedure)
#include "tst_ota_procedure.moc"
