#ifndef MAKE_PACKAGE_T_H
#define MAKE_PACKAGE_T_H

#include "header_info.h"
#include "package_builder.h"

#include <QByteArray>
#include <QMainWindow>

class QLineEdit;
class config_header_t;

namespace Ui {
class make_package_t;
}

// The upgrade-package maker window: the user picks the boot and application
// images, sees them as hex dumps and builds the package into a file. The
// package itself is assembled by package_builder.
class make_package_t : public QMainWindow
{
    Q_OBJECT

public:
    explicit make_package_t(QWidget *parent = nullptr);
    ~make_package_t() override;

    // The header configuration form this window opens and reads.
    config_header_t *header_window() const { return config_header; }

    // Replaces the text browser's content with the dump of the bytes, which
    // may be the start of something of `total_size` bytes.
    void show_hex_dump(const QByteArray &bytes, qint64 total_size = -1);

    // Dumps stop after this many bytes (about half a second to show); a
    // note tells how many were left out. Past a few hundred MiB the text
    // would not even fit in a string.
    static constexpr int max_dump_bytes = 4 * 1024 * 1024;

signals:
    void return_mainwindow_siganal();

private slots:
    void on_pushbutton_start_make_clicked();
    void on_pushbutton_open_boot_file_clicked();
    void on_pushbutton_open_app_file_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void choose_image_file(QLineEdit *path_field, quint32 header_info_t::*size_field);

    // Refuses, with a box saying why, a header text longer than its slot
    // and images too large to build, before any file is asked for.
    bool fits_in_package(const header_info_t &record);

    // The build steps of the start action.
    // Reads the selected images into the source; the record takes their sizes.
    bool read_body_source(QByteArray &source);
    bool build_header(QByteArray &package);
    bool build_body(const QByteArray &source, QByteArray &package);
    void append_package_sum(QByteArray &package);
    bool save_package(const QString &path, const QByteArray &package, QString *reason);

    // Every build outcome replaces the status of the one before: a failure
    // says the package was not written, and why.
    void show_not_written(const QString &why);
    // The warning box "错误" with this text, and the status to match.
    void refuse_build(const QString &text);

    Ui::make_package_t *ui;
    config_header_t *config_header;
    // Holds new_bin_is_write_addr and check_block_count of the running build.
    package_builder package_build;
};

#endif // MAKE_PACKAGE_T_H
