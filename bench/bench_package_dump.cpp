// How long the package maker takes to show the dump of a chosen image, from
// the button press until the text browser has laid out and painted it.
#include "dialog_recorder.h"
#include "hex_dump.h"
#include "make_package_t.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <cstdio>

namespace {

QString write_image(const QTemporaryDir &dir, int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(7);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    const QString path = dir.filePath(QStringLiteral("image_%1.bin").arg(size));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(images);
    // Runs without a display, like the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    dialog_recorder dialogs;
    make_package_t window;
    window.resize(637, 631);
    window.show();
    QApplication::processEvents();
    auto *browser = window.findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    auto *open_boot = window.findChild<QPushButton *>(QStringLiteral("pushbutton_open_boot_file"));

    const int sizes[] = {64 * 1024, 1024 * 1024, 4 * 1024 * 1024, 8 * 1024 * 1024};
    std::printf("%10s %12s %12s %12s %12s\n", "bytes", "text ms", "slot ms", "painted ms", "chars");
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (const int size : sizes) {
        const QString path = write_image(dir, size);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();

        QElapsedTimer timer;
        timer.start();
        const QString text = hex_dump_text(bytes);
        const double text_ms = timer.nsecsElapsed() / 1e6;

        dialogs.file_answers = QStringList{path};
        timer.restart();
        open_boot->click();
        const double slot_ms = timer.nsecsElapsed() / 1e6;
        // The first paint needs the layout of at least the visible part.
        browser->viewport()->repaint();
        QApplication::processEvents();
        const double painted_ms = timer.nsecsElapsed() / 1e6;
        std::printf("%10d %12.1f %12.1f %12.1f %12d\n", size, text_ms, slot_ms, painted_ms,
                    int(text.size()));
        if (browser->toPlainText().size() < text.size() - 1)
            std::printf("  (dump shortened to %d characters)\n",
                        int(browser->toPlainText().size()));
    }
    return 0;
}
