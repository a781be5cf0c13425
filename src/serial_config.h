#ifndef SERIAL_CONFIG_H
#define SERIAL_CONFIG_H

#include <QString>

// The port choice applied in the settings form.
struct serial_config_t
{
    QString port_name;
    qint32 baud_rate = 0;
    QString baud_rate_text;
};

#endif // SERIAL_CONFIG_H
