// vantrel-device-sim: a stand-in for the target device of an OTA upgrade.
#include "command_line.h"
#include "device_options.h"
#include "ota_device.h"
#include "standard_streams.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    standard_streams::prepare("vantrel-device-sim");
    command_line::prefer_plain_event_loop();
    QCoreApplication app(argc, argv);
    QStringList arguments;
    device_options options;
    bool help = false;
    QString error;
    if (!command_line::arguments(argc, argv, &arguments, &error)) {
        QTextStream(stderr) << "vantrel-device-sim: " << error << '\n';
        return ota_device::usage_error;
    }
    if (!parse_device_options(arguments, &options, &help, &error)) {
        QTextStream(stderr) << "vantrel-device-sim: " << error << "\n\n" << device_usage();
        return ota_device::usage_error;
    }
    if (help) {
        QTextStream(stdout) << device_usage();
        return 0;
    }

    ota_device device(options);
    if (!device.open())
        return ota_device::usage_error;
    QObject::connect(&device, &ota_device::finished, &app, &QCoreApplication::exit);
    return app.exec();
}
