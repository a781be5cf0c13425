#include "config_header_t.h"
#include "ui_config_header_t.h"

#include "check_length.h"
#include "form_keys.h"
#include "user_dialogs.h"
#include "window_placement.h"

#include <QIcon>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

config_header_t::config_header_t(QWidget *parent) : QWidget(parent), ui(new Ui::config_header_t)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vantrel工具集-头部信息配置界面"));
    setWindowIcon(QIcon(QStringLiteral(":/images/toolkit_2.png")));
    window_placement::keep_within_screen(this);

    ui->lineedit_product_info_len->setEnabled(false);
    ui->lineedit_app_version_len->setEnabled(false);
    ui->lineedit_boot_version_len->setEnabled(false);

    // The validator anchors the pattern itself: only whole texts are accepted.
    const QRegularExpression pattern(QString::fromLatin1(check_length::text_pattern));
    ui->lineedit_check_len->setValidator(
        new QRegularExpressionValidator(pattern, ui->lineedit_check_len));

    update_header_info();
}

config_header_t::~config_header_t()
{
    delete ui;
}

header_info_t config_header_t::get_header_info() const
{
    return header_info;
}

void config_header_t::keyPressEvent(QKeyEvent *event)
{
    if (!form_keys::close_on_escape(this, event) && !form_keys::press_focused_button(this, event))
        QWidget::keyPressEvent(event);
}

void config_header_t::update_header_info()
{
    header_info.product_info_len = ui->lineedit_product_info_len->text().toUInt(nullptr, 10);
    header_info.product_info = ui->lineedit_product_info->text();
    header_info.boot_version_len = ui->lineedit_boot_version_len->text().toUShort(nullptr, 10);
    header_info.boot_version = ui->lineedit_boot_version->text();
    header_info.app_version_len = ui->lineedit_app_version_len->text().toUShort(nullptr, 10);
    header_info.app_version = ui->lineedit_app_version->text();
    header_info.check_len = check_length::value_of(ui->lineedit_check_len->text());
    header_info.boot_upgrade_flag =
        ui->radiobutton_boot->isChecked() ? upgrade_flag_yes : upgrade_flag_no;
    header_info.app_upgrade_flag =
        ui->radiobutton_app->isChecked() ? upgrade_flag_yes : upgrade_flag_no;
}

void config_header_t::on_pusshbutton_apply_clicked()
{
    update_header_info();
    hide();
}

void config_header_t::on_lineedit_product_info_textChanged(const QString &arg1)
{
    ui->lineedit_product_info_len->setText(QString::number(arg1.size(), 10));
}

void config_header_t::on_lineedit_boot_version_textChanged(const QString &arg1)
{
    ui->lineedit_boot_version_len->setText(QString::number(arg1.size(), 10));
}

void config_header_t::on_lineedit_app_version_textChanged(const QString &arg1)
{
    ui->lineedit_app_version_len->setText(QString::number(arg1.size(), 10));
}

void config_header_t::on_lineedit_check_len_editingFinished()
{
    if (is_showing_input_error)
        return;
    QString normalised;
    if (!check_length::normalise(ui->lineedit_check_len->text(), &normalised)) {
        ui->lineedit_check_len->clear();
        is_showing_input_error = true;
        user_dialogs::information(this, QStringLiteral("输入错误"), QStringLiteral("请重新输入"));
        is_showing_input_error = false;
        return;
    }
    ui->lineedit_check_len->setText(normalised);
}
