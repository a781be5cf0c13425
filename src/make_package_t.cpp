#include "make_package_t.h"
#include "ui_make_package_t.h"

#include <QCloseEvent>
#include <QIcon>

make_package_t::make_package_t(QWidget *parent) : QMainWindow(parent), ui(new Ui::make_package_t)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vantrel工具集-升级包制作界面"));
    setWindowIcon(QIcon(QStringLiteral(":/images/toolkit_2.png")));
}

make_package_t::~make_package_t()
{
    delete ui;
}

void make_package_t::closeEvent(QCloseEvent *event)
{
    emit return_mainwindow_siganal();
    event->accept();
}
