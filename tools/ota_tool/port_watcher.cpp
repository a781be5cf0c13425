#include "port_watcher.h"

#include <QRegularExpression>

namespace {

const QRegularExpression usb_ids_pattern(QStringLiteral("^[0-9A-Fa-f]{4}:[0-9A-Fa-f]{4}$"));

bool is_path_pattern(const QString &pattern)
{
    return pattern.contains(QLatin1Char('/')) || pattern.contains(QLatin1Char('\\'));
}

bool is_wildcard(const QString &part)
{
    return part.contains(QLatin1Char('*')) || part.contains(QLatin1Char('?')) ||
           part.contains(QLatin1Char('['));
}

QRegularExpression wildcard(const QString &glob)
{
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(glob));
}

bool listed_match(const QString &pattern, const seen_port &port)
{
    if (pattern.startsWith(QLatin1String("sn:")))
        return !port.serial_number.isEmpty() &&
               wildcard(pattern.mid(3)).match(port.serial_number).hasMatch();
    if (usb_ids_pattern.match(pattern).hasMatch())
        return port.vid_pid.compare(pattern, Qt::CaseInsensitive) == 0;
    return wildcard(pattern).match(port.port_name).hasMatch();
}

} // namespace

QString port_watcher::pattern_error(const QString &pattern)
{
    if (pattern.isEmpty() || pattern == QLatin1String("sn:"))
        return QStringLiteral("empty pattern");
    const QString glob = pattern.startsWith(QLatin1String("sn:")) ? pattern.mid(3) : pattern;
    if (!wildcard(glob).isValid())
        return QStringLiteral("'%1' is not a valid pattern").arg(pattern);
    return QString();
}

port_watcher::port_watcher(const QStringList &patterns, port_source &source, QObject *parent)
    : QObject(parent), patterns(patterns), source(source)
{
    timer.setInterval(interval_ms);
    connect(&timer, &QTimer::timeout, this, &port_watcher::look);
}

void port_watcher::start()
{
    look();
    timer.start();
}

// The paths a glob names, one folder level at a time; a name that starts
// with a dot is matched only by a part that does too, as the shell does.
QStringList port_watcher::expand(const QString &pattern)
{
    const QString separator =
        pattern.contains(QLatin1Char('/')) ? QStringLiteral("/") : QStringLiteral("\\");
    const bool absolute = pattern.startsWith(separator);
    QStringList paths{QString()};
    for (const QString &part : pattern.split(separator, Qt::SkipEmptyParts)) {
        QStringList next;
        for (const QString &base : qAsConst(paths)) {
            const QString prefix =
                base.isEmpty() ? (absolute ? separator : QString()) : base + separator;
            if (!is_wildcard(part)) {
                next << prefix + part;
                continue;
            }
            const QRegularExpression match = wildcard(part);
            for (const QString &entry : source.entries(prefix))
                if (match.match(entry).hasMatch() &&
                    (!entry.startsWith(QLatin1Char('.')) || part.startsWith(QLatin1Char('.'))))
                    next << prefix + entry;
        }
        paths = next;
    }
    return paths;
}

void port_watcher::look()
{
    // The system's list only when a pattern needs it or a new port wants its
    // adapter's serial number.
    QList<seen_port> listed;
    bool have_list = false;
    const auto port_list = [&]() -> const QList<seen_port> & {
        if (!have_list)
            listed = source.listed(), have_list = true;
        return listed;
    };
    QMap<QString, found_port> now;
    const auto add = [&](const seen_port &seen) {
        if (now.contains(seen.device))
            return;
        const auto known = present.constFind(seen.device);
        if (known != present.constEnd() && known->instance == seen.instance) {
            now.insert(seen.device, *known);
            return;
        }
        found_port port;
        port.target.given = seen.name;
        port.target.path = seen.device;
        port.device = seen.device;
        port.instance = seen.instance;
        port.serial_number = seen.serial_number;
        port.vid_pid = seen.vid_pid;
        now.insert(seen.device, port);
    };
    for (const QString &pattern : qAsConst(patterns)) {
        if (!is_path_pattern(pattern)) {
            for (const seen_port &seen : port_list())
                if (listed_match(pattern, seen))
                    add(seen);
            continue;
        }
        // A link whose device has gone (a by-id link of an adapter just
        // pulled out), a folder or a file that matches is no port.
        for (const QString &path : expand(pattern)) {
            const seen_port seen = source.look_up(path);
            if (!seen.device.isEmpty() && seen.character_device)
                add(seen);
        }
    }

    QList<found_port> gone, come;
    for (const found_port &port : qAsConst(present)) {
        const auto still = now.constFind(port.device);
        if (still == now.constEnd() || still->instance != port.instance)
            gone << port;
    }
    for (found_port &port : now) {
        const auto known = present.constFind(port.device);
        if (known != present.constEnd() && known->instance == port.instance)
            continue;
        if (port.serial_number.isEmpty() && port.vid_pid.isEmpty()) {
            for (const seen_port &seen : port_list()) {
                if (seen.device == port.device) {
                    port.serial_number = seen.serial_number;
                    port.vid_pid = seen.vid_pid;
                }
            }
        }
        come << port;
    }
    present = now;
    for (const found_port &port : gone)
        emit disappeared(port);
    for (const found_port &port : come)
        emit appeared(port);
    emit looked();
}
