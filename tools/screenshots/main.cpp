// Shows the tool at work, as a user sees it, and saves a picture of each
// step for the documentation: an OTA upgrade to the simulated device over a
// pseudo-terminal cable, and a package built in the package maker. Run it on
// a display, e.g. under xvfb-run.
// Usage: vantrel-screenshots OUTPUT_DIR DEVICE_SIM_PROGRAM
#include "config_header_t.h"
#include "dialog_recorder.h"
#include "event_wait.h"
#include "mainwindow.h"
#include "make_package_t.h"
#include "pty_link.h"
#include "window_driver.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

bool fail(const QString &what)
{
    QTextStream(stderr) << "vantrel-screenshots: " << what << "\n";
    return false;
}

bool write_file(const QString &path, int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = char(seed >> 16);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == size;
}

bool save(QWidget *widget, const QDir &output, const char *name)
{
    QApplication::processEvents();
    return widget->grab().save(output.filePath(QLatin1String(name))) ||
           fail(QStringLiteral("cannot write ") + QLatin1String(name));
}

// An upgrade of a few kilobytes to the simulated device, paced like a slow
// line so that a picture catches it half-way.
bool draw_upgrade(const QDir &output, const QString &device_program, const QDir &work,
                  dialog_recorder &dialogs)
{
    pty_link cable;
    MainWindow window;
    window.move(20, 20);
    window.show();
    main_window_driver driver(&window);
    if (!cable.is_valid() || !driver.connect_to(cable.first_path()))
        return fail(QStringLiteral("cannot open a pseudo-terminal cable"));

    QProcess device;
    device.start(device_program,
                 {QStringLiteral("--port"), cable.second_path(), QStringLiteral("--frame-size"),
                  QStringLiteral("128"), QStringLiteral("--pace"), QStringLiteral("9600")});
    if (!wait_for([&] { return device.canReadLine(); }, 10000))
        return fail(QStringLiteral("the simulated device did not start"));

    const QString image = work.filePath(QStringLiteral("app_v2.3.7.bin"));
    if (!write_file(image, 3000, 7))
        return fail(QStringLiteral("cannot write the image"));
    dialogs.file_answers << image;
    driver.single_press();
    if (!wait_for([&] { return dialogs.file_answers.isEmpty(); }))
        return fail(QStringLiteral("the file was not chosen"));
    driver.double_press();
    if (!wait_for([&] { return driver.progress_bar()->value() >= 45; }, 20000))
        return fail(QStringLiteral("the upgrade did not get half-way"));
    if (!save(&window, output, "ota_upgrading.png"))
        return false;
    const QString done = QStringLiteral("OTA成功");
    if (!wait_for([&] { return driver.status_label()->text() == done; }, 20000))
        return fail(QStringLiteral("the upgrade did not end in ") + done);
    const bool saved = save(&window, output, "ota_done.png");
    device.waitForFinished();
    return saved && dialogs.boxes.isEmpty();
}

// A package of two small images, with a header a user has edited.
bool draw_package(const QDir &output, const QDir &work, dialog_recorder &dialogs)
{
    make_package_t maker;
    maker.move(20, 20);
    // Wide enough for a whole row of the dump on one line.
    maker.resize(880, maker.height());
    maker.show();
    config_header_t *header = maker.header_window();
    maker.findChild<QAction *>(QStringLiteral("action_config_header"))->trigger();
    header->move(maker.frameGeometry().right() + 20, 20);
    header->findChild<QLineEdit *>(QStringLiteral("lineedit_product_info"))
        ->setText(QStringLiteral("VT-EVB-F407"));
    header->findChild<QLineEdit *>(QStringLiteral("lineedit_boot_version"))
        ->setText(QStringLiteral("v01.02.00"));
    header->findChild<QLineEdit *>(QStringLiteral("lineedit_app_version"))
        ->setText(QStringLiteral("v02.03.07"));
    auto *check_length = header->findChild<QLineEdit *>(QStringLiteral("lineedit_check_len"));
    check_length->setText(QStringLiteral("0x0100"));
    emit check_length->editingFinished();
    header->findChild<QRadioButton *>(QStringLiteral("radiobutton_boot"))->setChecked(true);
    header->findChild<QRadioButton *>(QStringLiteral("radiobutton_app"))->setChecked(true);
    if (!save(header, output, "header_config.png"))
        return false;
    header->findChild<QPushButton *>(QStringLiteral("pusshbutton_apply"))->click();

    const QString boot = work.filePath(QStringLiteral("boot.bin"));
    const QString app = work.filePath(QStringLiteral("app.bin"));
    if (!write_file(boot, 300, 1) || !write_file(app, 700, 2))
        return fail(QStringLiteral("cannot write the images"));
    dialogs.file_answers << boot << app << work.filePath(QStringLiteral("package.bin"));
    maker.findChild<QPushButton *>(QStringLiteral("pushbutton_open_boot_file"))->click();
    maker.findChild<QPushButton *>(QStringLiteral("pushbutton_open_app_file"))->click();
    maker.findChild<QPushButton *>(QStringLiteral("pushbutton_start_make"))->click();
    if (!QFile::exists(work.filePath(QStringLiteral("package.bin"))))
        return fail(QStringLiteral("the package was not built"));
    return save(&maker, output, "package_maker.png");
}

} // namespace

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(images);
    QApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vantrel.*=false"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        QTextStream(stderr) << "usage: vantrel-screenshots OUTPUT_DIR DEVICE_SIM_PROGRAM\n";
        return 2;
    }
    const QDir output(arguments[1]);
    QTemporaryDir work(QDir::temp().filePath(QStringLiteral("firmware-XXXXXX")));
    if ((!output.exists() && !QDir().mkpath(output.path())) || !work.isValid())
        return fail(QStringLiteral("cannot create ") + output.path()) ? 0 : 1;

    dialog_recorder dialogs;
    const QDir work_dir(work.path());
    const bool drawn = draw_upgrade(output, arguments[2], work_dir, dialogs) &&
                       draw_package(output, work_dir, dialogs);
    return drawn ? 0 : 1;
}
