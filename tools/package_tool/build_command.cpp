#include "build_command.h"

#include "body_source.h"
#include "check_length.h"
#include "command_line.h"
#include "header_info.h"
#include "image_file.h"
#include "package_builder.h"
#include "package_exit.h"
#include "package_file.h"
#include "package_format.h"
#include "standard_streams.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

namespace {

struct build_options
{
    header_info_t header = default_header_info();
    QString boot_path;
    QString app_path;
    QString output_path;
};

QCommandLineOption product_option{QStringLiteral("product"), QString(), QStringLiteral("text")};
QCommandLineOption boot_version_option{QStringLiteral("boot-version"), QString(),
                                       QStringLiteral("text")};
QCommandLineOption app_version_option{QStringLiteral("app-version"), QString(),
                                      QStringLiteral("text")};
QCommandLineOption check_len_option{QStringLiteral("check-len"), QString(), QStringLiteral("hex")};
QCommandLineOption images_option{QStringLiteral("images"), QString(), QStringLiteral("list")};
QCommandLineOption boot_option{QStringLiteral("boot"), QString(), QStringLiteral("file")};
QCommandLineOption app_option{QStringLiteral("app"), QString(), QStringLiteral("file")};
QCommandLineOption output_option{
    {QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("file")};
QCommandLineOption help_option{{QStringLiteral("h"), QStringLiteral("help")}};

// The form's validator, normalisation and apply, in that order.
bool parse_check_len(const QString &text, quint32 *check_len)
{
    QString normalised;
    if (!check_length::matches_pattern(text)) {
        standard_streams::print_error(
            QStringLiteral("--check-len: '%1' is not up to six hexadecimal digits "
                           "(optionally behind 0x)")
                .arg(text));
        return false;
    }
    // An x anywhere but in a leading 0x leaves no number to read.
    if (!check_length::normalise(text, &normalised) ||
        normalised.mid(2).contains(QLatin1Char('x'), Qt::CaseInsensitive)) {
        standard_streams::print_error(
            QStringLiteral("--check-len: '%1' has an x that is not part of a leading 0x")
                .arg(text));
        return false;
    }
    *check_len = check_length::value_of(normalised);
    if (!check_length::is_usable(*check_len)) {
        standard_streams::print_error(
            QStringLiteral("--check-len: '%1' comes to 0; the check length must be at least 1")
                .arg(text));
        return false;
    }
    return true;
}

bool parse_images(const QString &text, header_info_t &header)
{
    bool boot = false;
    bool app = false;
    if (text != QLatin1String("none")) {
        const QStringList names = text.split(QLatin1Char(','));
        for (const QString &name : names) {
            if (name == QLatin1String("boot")) {
                boot = true;
            } else if (name == QLatin1String("app")) {
                app = true;
            } else {
                standard_streams::print_error(
                    QStringLiteral("--images: '%1' is not boot, app or none").arg(name));
                return false;
            }
        }
    }
    header.boot_upgrade_flag = boot ? upgrade_flag_yes : upgrade_flag_no;
    header.app_upgrade_flag = app ? upgrade_flag_yes : upgrade_flag_no;
    return true;
}

void set_texts(const QCommandLineParser &parser, header_info_t &header)
{
    if (parser.isSet(product_option))
        header.product_info = parser.value(product_option);
    if (parser.isSet(boot_version_option))
        header.boot_version = parser.value(boot_version_option);
    if (parser.isSet(app_version_option))
        header.app_version = parser.value(app_version_option);
    header.product_info_len = quint32(header.product_info.size());
    header.boot_version_len = quint16(header.boot_version.size());
    header.app_version_len = quint16(header.app_version.size());
}

// A text that the header cannot hold as given is refused, naming its option.
bool check_texts(const header_info_t &header)
{
    header_text_problem problem;
    if (!find_header_text_problem(header, &problem))
        return true;
    const QLatin1String option =
        problem.which == header_text_problem::text::product_info   ? QLatin1String("--product")
        : problem.which == header_text_problem::text::boot_version ? QLatin1String("--boot-version")
                                                                   : QLatin1String("--app-version");
    if (problem.too_long) {
        standard_streams::print_error(QStringLiteral("%1: %2 characters, at most %3")
                                          .arg(option)
                                          .arg(problem.length)
                                          .arg(problem.slot));
        return false;
    }
    standard_streams::print_error(
        QStringLiteral("%1: character %2 ('%3', U+%4) cannot be stored: header "
                       "texts are written one byte per character (Latin-1)")
            .arg(option)
            .arg(problem.at + 1)
            .arg(problem.character)
            .arg(QString::number(problem.character.unicode(), 16)
                     .toUpper()
                     .rightJustified(4, QLatin1Char('0'))));
    return false;
}

// Exit code of the first refusal, or package_exit::ok.
int parse_options(const QCommandLineParser &parser, build_options &options)
{
    header_info_t &header = options.header;
    set_texts(parser, header);
    if (!check_texts(header))
        return package_exit::refused;
    if (parser.isSet(check_len_option) &&
        !parse_check_len(parser.value(check_len_option), &header.check_len))
        return package_exit::refused;
    if (parser.isSet(images_option) && !parse_images(parser.value(images_option), header))
        return package_exit::usage;
    options.boot_path = parser.value(boot_option);
    options.app_path = parser.value(app_option);
    options.output_path = parser.value(output_option);

    if (header.boot_upgrade_flag == upgrade_flag_yes && options.boot_path.isEmpty()) {
        standard_streams::print_error(
            QStringLiteral("the boot image is selected but --boot is missing"));
        return package_exit::refused;
    }
    if (header.app_upgrade_flag == upgrade_flag_yes && options.app_path.isEmpty()) {
        standard_streams::print_error(
            QStringLiteral("the app image is selected but --app is missing"));
        return package_exit::refused;
    }
    if (options.output_path.isEmpty()) {
        standard_streams::print_error(QStringLiteral("--output is missing"));
        return package_exit::usage;
    }
    return package_exit::ok;
}

// An image that the package does not carry still gives its size to the
// header, as when it is chosen in the window; it must be a file that can be
// read all the same, or the size would be a guess (a folder's, say).
int measure_unselected(const char *option, const QString &path, bool selected, quint32 &header_size)
{
    if (selected || path.isEmpty())
        return package_exit::ok;
    QByteArray bytes;
    const image_file::read_outcome read = image_file::append_whole(path, bytes);
    switch (read.status) {
    case image_file::read_status::ok:
        header_size = quint32(read.size);
        return package_exit::ok;
    case image_file::read_status::too_large:
        standard_streams::print_error(
            QStringLiteral("%1: %2: too large for a package").arg(option, path));
        return package_exit::refused;
    case image_file::read_status::open_failed:
    case image_file::read_status::read_failed:
        break;
    }
    standard_streams::print_error(
        QStringLiteral("%1: %2: cannot read: %3").arg(option, path, read.error_text));
    return package_exit::file_error;
}

QString option_of(const build_options &options, const QString &path)
{
    return path == options.boot_path ? QStringLiteral("--boot") : QStringLiteral("--app");
}

int read_images(build_options &options, QByteArray &source)
{
    header_info_t &header = options.header;
    if (const int failed =
            measure_unselected("--boot", options.boot_path,
                               header.boot_upgrade_flag == upgrade_flag_yes, header.boot_file_size))
        return failed;
    if (const int failed =
            measure_unselected("--app", options.app_path,
                               header.app_upgrade_flag == upgrade_flag_yes, header.app_file_size))
        return failed;
    const body_source_result result =
        read_body_source(header, options.boot_path, options.app_path, source);
    switch (result.status) {
    case image_file::read_status::ok:
        // A failed firmware build upstream must not become a package.
        if (header.boot_upgrade_flag == upgrade_flag_yes && header.boot_file_size == 0) {
            standard_streams::print_error(
                QStringLiteral("--boot: %1 is empty").arg(options.boot_path));
            return package_exit::refused;
        }
        if (header.app_upgrade_flag == upgrade_flag_yes && header.app_file_size == 0) {
            standard_streams::print_error(
                QStringLiteral("--app: %1 is empty").arg(options.app_path));
            return package_exit::refused;
        }
        return package_exit::ok;
    case image_file::read_status::too_large:
        standard_streams::print_error(QStringLiteral("%1: %2: too large for a package")
                                          .arg(option_of(options, result.path), result.path));
        return package_exit::refused;
    case image_file::read_status::open_failed:
    case image_file::read_status::read_failed:
        break;
    }
    standard_streams::print_error(
        QStringLiteral("%1: %2: cannot read: %3")
            .arg(option_of(options, result.path), result.path, result.error_text));
    return package_exit::file_error;
}

int write_output(const QString &path, bool to_standard_output, const QByteArray &package)
{
    QString error;
    // Where standard output already goes (-, /dev/stdout, the file it was
    // sent to), the package goes through it, as it stands.
    const bool written = to_standard_output ? standard_streams::write_binary(package, &error)
                                            : save_package_file(path, package, &error);
    if (!written) {
        standard_streams::print_error(
            QStringLiteral("--output: %1: cannot write: %2").arg(path, error));
        return package_exit::file_error;
    }
    return package_exit::ok;
}

} // namespace

QString build_usage()
{
    return QStringLiteral(
        "Usage: vantrel-package build [options] --output FILE\n"
        "  --product TEXT        product information (default K58TQE, at most 60)\n"
        "  --boot-version TEXT   boot version (default v01.00.01, at most 30)\n"
        "  --app-version TEXT    app version (default v01.00.01, at most 38)\n"
        "  --check-len HEX       image bytes per check block, hexadecimal as in the\n"
        "                        header form: 5, 0x1000, 1000 (= 4096); default 0x0005\n"
        "  --images LIST         images the package carries: boot,app (default), boot,\n"
        "                        app or none\n"
        "  --boot FILE           boot image (required when it is carried)\n"
        "  --app FILE            app image (required when it is carried)\n"
        "  -o, --output FILE     package to write\n");
}

int run_build(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({product_option, boot_version_option, app_version_option, check_len_option,
                       images_option, boot_option, app_option, output_option, help_option});
    QString error;
    if (!command_line::parse(parser, QStringLiteral("build"), arguments, &error)) {
        standard_streams::print_error(error);
        return package_exit::usage;
    }
    if (parser.isSet(help_option)) {
        standard_streams::print_out(build_usage());
        return package_exit::ok;
    }
    if (!parser.positionalArguments().isEmpty()) {
        standard_streams::print_error(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
        return package_exit::usage;
    }

    build_options options;
    if (const int refused = parse_options(parser, options))
        return refused;

    QByteArray source;
    if (const int failed = read_images(options, source))
        return failed;
    const header_info_t &header = options.header;
    QByteArray package;
    switch (build_package(header, source, package)) {
    case build_status::ok:
        break;
    case build_status::check_len_zero:
        standard_streams::print_error(QStringLiteral("the check length must be at least 1"));
        return package_exit::refused;
    case build_status::header_refused: // checked with the options already
        standard_streams::print_error(QStringLiteral("the header texts cannot be written"));
        return package_exit::refused;
    case build_status::too_large:
        standard_streams::print_error(QStringLiteral("the package would be too large to build"));
        return package_exit::refused;
    }

    // The package alone goes to standard output when asked for there; the
    // report line then goes to standard error.
    const bool to_standard_output = standard_streams::is_standard_output(options.output_path);
    if (const int failed = write_output(options.output_path, to_standard_output, package))
        return failed;
    const QString report = QStringLiteral("%1: %2 bytes, %3 check blocks")
                               .arg(options.output_path)
                               .arg(package.size())
                               .arg(package_format::block_count(source.size(), header.check_len));
    if (to_standard_output)
        QTextStream(stderr) << report << '\n';
    else
        standard_streams::print_out(report);
    return package_exit::ok;
}
