#include "make_package_t.h"
#include "ui_make_package_t.h"

#include "body_source.h"
#include "check_length.h"
#include "config_header_t.h"
#include "form_keys.h"
#include "hex_dump.h"
#include "image_file.h"
#include "package_file.h"
#include "package_format.h"
#include "user_dialogs.h"
#include "window_placement.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>

namespace {

const QString too_large_text = QStringLiteral("文件过大，无法制作升级包");

} // namespace

make_package_t::make_package_t(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::make_package_t), config_header(nullptr)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vantrel工具集-升级包制作界面"));
    setWindowIcon(QIcon(QStringLiteral(":/images/toolkit_2.png")));

    config_header = new config_header_t();
    connect(ui->action_config_header, &QAction::triggered, config_header,
            [this] { window_placement::show_in_front(config_header); });
    window_placement::keep_within_screen(this);

    // SimSun lines the dump up where it is installed; elsewhere a fixed-pitch
    // font must, or the columns drift. A dump row is never wrapped: the view
    // scrolls sideways instead.
    QFont dump_font = ui->textBrowser->font();
    dump_font.setFamilies(
        {dump_font.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    dump_font.setStyleHint(QFont::TypeWriter);
    ui->textBrowser->setFont(dump_font);
    ui->textBrowser->setLineWrapMode(QTextEdit::NoWrap);

    ui->line_boot_input_file_dir->setEnabled(false);
    ui->line_app_input_file_dir->setEnabled(false);
    ui->line_output_file_dir->setEnabled(false);
}

make_package_t::~make_package_t()
{
    delete config_header;
    delete ui;
}

void make_package_t::closeEvent(QCloseEvent *event)
{
    emit return_mainwindow_siganal();
    event->accept();
}

void make_package_t::keyPressEvent(QKeyEvent *event)
{
    if (!form_keys::press_focused_button(this, event))
        QMainWindow::keyPressEvent(event);
}

void make_package_t::show_hex_dump(const QByteArray &bytes, qint64 total_size)
{
    if (total_size < bytes.size())
        total_size = bytes.size();
    QString text = hex_dump_text(bytes.left(max_dump_bytes));
    if (total_size > max_dump_bytes) {
        text += QStringLiteral("\n……（仅显示前 %1 字节，共 %2 字节）")
                    .arg(max_dump_bytes)
                    .arg(total_size);
    }
    // Replacing the whole document is many times faster than inserting the
    // text at a cursor, and lets the browser lay out the rest lazily.
    ui->textBrowser->clear();
    ui->textBrowser->setPlainText(text);
}

void make_package_t::on_pushbutton_open_boot_file_clicked()
{
    choose_image_file(ui->line_boot_input_file_dir, &header_info_t::boot_file_size);
}

void make_package_t::on_pushbutton_open_app_file_clicked()
{
    choose_image_file(ui->line_app_input_file_dir, &header_info_t::app_file_size);
}

void make_package_t::choose_image_file(QLineEdit *path_field, quint32 header_info_t::*size_field)
{
    const QString path = user_dialogs::current().open_file_name(this, QStringLiteral("Open File"),
                                                                QDir::currentPath(), QString());
    path_field->setText(path);
    if (path.isEmpty()) {
        user_dialogs::information(this, QStringLiteral("错误信息"),
                                  QStringLiteral("请选择一个文件"));
        return;
    }

    // The header keeps sizes in 32 bits, and a package must fit in memory:
    // a file that could never be built is not taken at all.
    const qint64 size = QFileInfo(path).size();
    if (size > image_file::max_image_size) {
        path_field->clear();
        user_dialogs::information(this, QStringLiteral("错误信息"), too_large_text);
        return;
    }
    config_header->header_info.*size_field = quint32(size);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        user_dialogs::information(this, QStringLiteral("错误信息"),
                                  QStringLiteral("文件打开失败\r\n") + file.errorString());
        return;
    }
    ui->statusbar->showMessage(tr("准备读取数据"));
    // Only what the dump shows is read here; the build reads the file again.
    const QByteArray bytes = file.read(qMin<qint64>(size, max_dump_bytes + 1));
    ui->statusbar->showMessage(tr("读取数据完毕"));
    show_hex_dump(bytes, size);
    file.close();
}

void make_package_t::on_pushbutton_start_make_clicked()
{
    const header_info_t &record = config_header->header_info;
    if (record.boot_upgrade_flag == upgrade_flag_yes &&
        ui->line_boot_input_file_dir->text().isEmpty()) {
        refuse_build(tr("boot文件路径未输入"));
        return;
    }
    if (record.app_upgrade_flag == upgrade_flag_yes &&
        ui->line_app_input_file_dir->text().isEmpty()) {
        refuse_build(tr("app文件路径未输入"));
        return;
    }
    if (!check_length::is_usable(record.check_len)) {
        refuse_build(tr("固件校验长度为0，无法制作升级包\r\n"
                        "请在头部信息配置中输入大于0的校验长度"));
        return;
    }

    if (!fits_in_package(record))
        return;

    package_build.reset();
    const QString output =
        user_dialogs::current().save_file_name(this, tr("另存"), QString(), tr("bin文件(*.bin)"));
    ui->line_output_file_dir->setText(output);
    if (output.isEmpty()) {
        show_not_written(tr("未选择输出文件"));
        return;
    }

    // The package is finished in memory before the output file is touched,
    // so a failed build leaves an existing file as it was.
    QByteArray source;
    if (!read_body_source(source))
        return;
    QByteArray package;
    if (!build_header(package) || !build_body(source, package)) {
        refuse_build(tr("制作升级包失败"));
        return;
    }
    append_package_sum(package);
    QString reason;
    if (!save_package(output, package, &reason)) {
        refuse_build(tr("保存文件失败") + QStringLiteral("\r\n") + reason);
        return;
    }
    show_hex_dump(package);
    ui->statusbar->showMessage(tr("升级包已写入 %1，共 %2 字节")
                                   .arg(QDir::toNativeSeparators(output))
                                   .arg(package.size()));
}

bool make_package_t::fits_in_package(const header_info_t &record)
{
    header_text_problem problem;
    if (find_header_text_problem(record, &problem)) {
        const QString field =
            problem.which == header_text_problem::text::product_info   ? tr("产品信息")
            : problem.which == header_text_problem::text::boot_version ? tr("boot版本")
                                                                       : tr("app版本");
        // Written one byte per character, anything else would come out as "?".
        refuse_build(problem.too_long ? tr("%1过长：%2个字符，最多%3个字符")
                                            .arg(field)
                                            .arg(problem.length)
                                            .arg(problem.slot)
                                      : tr("%1含有无法写入升级包的字符“%2”（第%3个字符）\r\n"
                                           "头部信息只能写入Latin-1字符")
                                            .arg(field)
                                            .arg(problem.character)
                                            .arg(problem.at + 1));
        return false;
    }

    // The sizes as the files stand now: the build reads them again anyway.
    qint64 source_size = 0;
    if (record.boot_upgrade_flag == upgrade_flag_yes)
        source_size += QFileInfo(ui->line_boot_input_file_dir->text()).size();
    if (record.app_upgrade_flag == upgrade_flag_yes)
        source_size += QFileInfo(ui->line_app_input_file_dir->text()).size();
    const qint64 size = package_format::package_size(source_size, record.check_len);
    if (size > package_format::max_package_size) {
        refuse_build(tr("升级包过大：将有%1字节，最多可制作%2字节\r\n"
                        "请选用较小的文件或较大的固件校验长度")
                         .arg(size)
                         .arg(package_format::max_package_size));
        return false;
    }
    return true;
}

bool make_package_t::read_body_source(QByteArray &source)
{
    const body_source_result result =
        ::read_body_source(config_header->header_info, ui->line_boot_input_file_dir->text(),
                           ui->line_app_input_file_dir->text(), source);
    if (result.status == image_file::read_status::ok)
        return true;
    const QString text = result.status == image_file::read_status::too_large
                             ? too_large_text
                             : QStringLiteral("文件打开失败\r\n") + result.error_text;
    show_not_written(text);
    user_dialogs::information(this, QStringLiteral("错误信息"), text);
    return false;
}

bool make_package_t::build_header(QByteArray &package)
{
    return package_build.build_header(config_header->get_header_info(), package);
}

bool make_package_t::build_body(const QByteArray &source, QByteArray &package)
{
    return package_build.build_body(source, config_header->get_header_info().check_len, package);
}

void make_package_t::append_package_sum(QByteArray &package)
{
    package_build.append_package_sum(package);
}

bool make_package_t::save_package(const QString &path, const QByteArray &package, QString *reason)
{
    return save_package_file(path, package, reason);
}

void make_package_t::show_not_written(const QString &why)
{
    // A box text on one line: the status bar shows one.
    const QString line =
        why.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(QStringLiteral("，"));
    ui->statusbar->showMessage(tr("升级包未写入：%1").arg(line));
}

void make_package_t::refuse_build(const QString &text)
{
    show_not_written(text);
    user_dialogs::warning(this, tr("错误"), text);
}
