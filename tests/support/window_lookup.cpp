#include "window_lookup.h"

#include "serial_setting.h"

#include <QComboBox>
#include <QPushButton>

void apply_serial_choice(serial_setting *form, const QString &port_name, const QString &baud_text)
{
    auto *ports = child<QComboBox>(form, "combobox_port");
    int index = ports->findText(port_name);
    if (index < 0) {
        ports->addItem(port_name);
        index = ports->count() - 1;
    }
    ports->setCurrentIndex(index);
    auto *bauds = child<QComboBox>(form, "combobox_buad");
    bauds->setCurrentIndex(bauds->findText(baud_text));
    child<QPushButton>(form, "button_apply")->click();
}
