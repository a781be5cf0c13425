#include "app_start.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(images);
    QApplication application(argc, argv);
    prepare_application(application);
    MainWindow window;
    window.show();
    return application.exec();
}
