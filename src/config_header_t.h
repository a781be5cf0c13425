#ifndef CONFIG_HEADER_T_H
#define CONFIG_HEADER_T_H

#include "header_info.h"

#include <QWidget>

namespace Ui {
class config_header_t;
}

// The window in which the user sets what the package header carries. It owns
// the header record; the package maker writes the image sizes into it.
class config_header_t : public QWidget
{
    Q_OBJECT

public:
    explicit config_header_t(QWidget *parent = nullptr);
    ~config_header_t() override;

    header_info_t get_header_info() const;

    header_info_t header_info;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pusshbutton_apply_clicked();
    void on_lineedit_product_info_textChanged(const QString &arg1);
    void on_lineedit_boot_version_textChanged(const QString &arg1);
    void on_lineedit_app_version_textChanged(const QString &arg1);
    void on_lineedit_check_len_editingFinished();

private:
    void update_header_info();

    Ui::config_header_t *ui;
    // The error box takes the focus, which finishes editing once more.
    bool is_showing_input_error = false;
};

#endif // CONFIG_HEADER_T_H
