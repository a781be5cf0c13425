#ifndef HEADER_INFO_H
#define HEADER_INFO_H

#include <QString>
#include <QtGlobal>

// Marker words of the two yes/no choices stored in the package header.
constexpr quint32 upgrade_flag_yes = 0x8A8A8A8A;
constexpr quint32 upgrade_flag_no = 0x5A5A5A5A;

// The package header record: what the header configuration form applied,
// plus the image sizes that the package maker measures.
struct header_info_t
{
    quint32 product_info_len = 0;
    QString product_info;
    quint16 boot_version_len = 0;
    QString boot_version;
    quint16 app_version_len = 0;
    QString app_version;
    quint32 boot_upgrade_flag = upgrade_flag_no;
    quint32 app_upgrade_flag = upgrade_flag_no;
    quint32 check_len = 0;
    // Stay 0 until a file of that kind has been measured.
    quint32 boot_file_size = 0;
    quint32 app_file_size = 0;
};

// The values the configuration form starts with.
inline header_info_t default_header_info()
{
    header_info_t header;
    header.product_info = QStringLiteral("K58TQE");
    header.product_info_len = 6;
    header.boot_version = QStringLiteral("v01.00.01");
    header.boot_version_len = 9;
    header.app_version = QStringLiteral("v01.00.01");
    header.app_version_len = 9;
    header.boot_upgrade_flag = upgrade_flag_yes;
    header.app_upgrade_flag = upgrade_flag_yes;
    header.check_len = 5;
    return header;
}

#endif // HEADER_INFO_H
