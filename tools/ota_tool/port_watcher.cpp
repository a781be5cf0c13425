#include "port_watcher.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <fnmatch.h>
#include <glob.h>

namespace {

const QRegularExpression usb_ids_pattern(QStringLiteral("^[0-9A-Fa-f]{4}:[0-9A-Fa-f]{4}$"));

bool is_port_list_pattern(const QString &pattern)
{
    return pattern.startsWith(QLatin1String("sn:")) || usb_ids_pattern.match(pattern).hasMatch();
}

bool listed_match(const QString &pattern, const QSerialPortInfo &info)
{
    if (pattern.startsWith(QLatin1String("sn:")))
        return !info.serialNumber().isEmpty() &&
               fnmatch(pattern.mid(3).toLocal8Bit().constData(),
                       info.serialNumber().toLocal8Bit().constData(), 0) == 0;
    return usb_ids(info).compare(pattern, Qt::CaseInsensitive) == 0;
}

// Paths that match; a link whose device has gone (a by-id link of an adapter
// just pulled out) is no port.
QStringList glob_paths(const QString &pattern)
{
    QStringList paths;
    glob_t found = {};
    if (glob(pattern.toLocal8Bit().constData(), 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            const QString path = QString::fromLocal8Bit(found.gl_pathv[i]);
            if (QFileInfo::exists(path))
                paths << path;
        }
    }
    globfree(&found);
    return paths;
}

} // namespace

QString port_watcher::pattern_error(const QString &pattern)
{
    if (pattern.isEmpty() || pattern == QLatin1String("sn:"))
        return QStringLiteral("empty pattern");
    if (!is_port_list_pattern(pattern) && !pattern.contains(QLatin1Char('/')))
        return QStringLiteral("'%1' is neither VVVV:PPPP, sn:GLOB nor a path").arg(pattern);
    return QString();
}

port_watcher::port_watcher(const QStringList &patterns, QObject *parent)
    : QObject(parent), patterns(patterns)
{
    for (const QString &pattern : patterns)
        needs_port_list = needs_port_list || is_port_list_pattern(pattern);
    timer.setInterval(interval_ms);
    connect(&timer, &QTimer::timeout, this, &port_watcher::look);
}

void port_watcher::start()
{
    look();
    timer.start();
}

void port_watcher::look()
{
    // The system's list costs a walk through udev: only when a pattern needs
    // it or a new port wants its adapter's serial number.
    QList<QSerialPortInfo> listed;
    bool have_list = false;
    const auto port_list = [&]() -> const QList<QSerialPortInfo> & {
        if (!have_list)
            listed = QSerialPortInfo::availablePorts(), have_list = true;
        return listed;
    };
    QMap<QString, found_port> now;
    const auto add = [&](const port_target &target) {
        const QString device = target.device();
        if (now.contains(device))
            return;
        found_port port = present.value(device);
        if (!present.contains(device)) {
            port.target = target;
            port.device = device;
        }
        now.insert(device, port);
    };
    for (const QString &pattern : patterns) {
        if (is_port_list_pattern(pattern)) {
            for (const QSerialPortInfo &info : port_list()) {
                if (!listed_match(pattern, info))
                    continue;
                port_target target;
                target.given = info.systemLocation();
                target.listed = true;
                target.info = info;
                add(target);
            }
            continue;
        }
        for (const QString &path : glob_paths(pattern)) {
            port_target target;
            target.given = path;
            // A relative path is relative to here, not to /dev as a bare port name is.
            target.path = QFileInfo(path).absoluteFilePath();
            add(target);
        }
    }

    QList<found_port> gone, come;
    for (const found_port &port : qAsConst(present))
        if (!now.contains(port.device))
            gone << port;
    for (found_port &port : now) {
        if (present.contains(port.device))
            continue;
        for (const QSerialPortInfo &info : port_list()) {
            if (QFileInfo(info.systemLocation()).canonicalFilePath() == port.device) {
                port.serial_number = info.serialNumber();
                port.vid_pid = usb_ids(info);
            }
        }
        come << port;
    }
    present = now;
    for (const found_port &port : gone)
        emit disappeared(port);
    for (const found_port &port : come)
        emit appeared(port);
}
