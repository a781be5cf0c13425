#ifndef MAKE_PACKAGE_T_H
#define MAKE_PACKAGE_T_H

#include <QMainWindow>

namespace Ui {
class make_package_t;
}

// The upgrade-package maker window.
class make_package_t : public QMainWindow
{
    Q_OBJECT

public:
    explicit make_package_t(QWidget *parent = nullptr);
    ~make_package_t() override;

signals:
    void return_mainwindow_siganal();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::make_package_t *ui;
};

#endif // MAKE_PACKAGE_T_H
