#ifndef OTA_TEXTS_H
#define OTA_TEXTS_H

#include "image_file.h"
#include "ota_session.h"

#include <QString>
#include <QStringList>

// The texts an upgrade shows its user, the same in the window's boxes and in
// vantrel-ota's reports.
namespace ota_texts {

// The "提示信息" boxes for a refused or stalled upgrade, in the order shown;
// `slice_size` is the size the device asked for.
QStringList notices(ota_session::reason why, quint32 slice_size);

// The "错误信息" box for an upgrade image that was not read.
QString image_refusal(const image_file::read_outcome &read);

} // namespace ota_texts

#endif // OTA_TEXTS_H
