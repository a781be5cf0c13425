// Shows the windows of the tool as a user sees them and saves a picture of
// each, for the documentation. Run it on a display, e.g.
// under xvfb-run. Usage: vantrel-screenshots OUTPUT_DIR
#include "config_header_t.h"
#include "mainwindow.h"
#include "make_package_t.h"
#include "serial_setting.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(images);
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        QTextStream(stderr) << "usage: vantrel-screenshots OUTPUT_DIR\n";
        return 2;
    }
    const QDir output(arguments[1]);
    if (!output.exists() && !QDir().mkpath(output.path())) {
        QTextStream(stderr) << "cannot create " << output.path() << "\n";
        return 1;
    }

    MainWindow window;
    window.move(20, 20);
    window.show();
    window.findChild<QAction *>(QStringLiteral("action_serial_set"))->trigger();
    serial_setting *settings = nullptr;
    make_package_t *maker = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<serial_setting *>(widget))
            settings = form;
        if (auto *package_window = qobject_cast<make_package_t *>(widget))
            maker = package_window;
    }
    settings->move(window.frameGeometry().right() + 20, 20);
    maker->show();
    maker->findChild<QAction *>(QStringLiteral("action_config_header"))->trigger();

    int status = 0;
    QTimer::singleShot(1000, [&] {
        const bool saved =
            window.grab().save(output.filePath(QStringLiteral("main_window.png"))) &&
            settings->grab().save(output.filePath(QStringLiteral("serial_settings.png"))) &&
            maker->grab().save(output.filePath(QStringLiteral("package_maker.png"))) &&
            maker->header_window()->grab().save(
                output.filePath(QStringLiteral("header_config.png")));
        status = saved ? 0 : 1;
        QApplication::exit(status);
    });
    QApplication::exec();
    return status;
}
