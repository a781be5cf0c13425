// Writes a square PNG scaled from the application icon, for the icon theme
// sizes that desktop menus and task bars ask for.
// Usage: vantrel-scale-icon SOURCE.png SIZE OUTPUT.png
#include <QImage>
#include <QTextStream>

int main(int argc, char *argv[])
{
    bool size_ok = false;
    const int size = argc == 4 ? QString::fromLocal8Bit(argv[2]).toInt(&size_ok) : 0;
    if (!size_ok || size <= 0) {
        QTextStream(stderr) << "usage: vantrel-scale-icon SOURCE.png SIZE OUTPUT.png\n";
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        QTextStream(stderr) << "cannot read " << argv[1] << "\n";
        return 1;
    }
    const QImage scaled = source.convertToFormat(QImage::Format_ARGB32)
                              .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!scaled.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        QTextStream(stderr) << "cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
