// The flashing station in-process, its ports from a source this test fills: USB ids, serial
// numbers, links that dangle, device nodes made again between two looks, all without waiting
// for the clock. Boards are pseudo-terminals no device answers (an upgrade that runs until it
// is ended) and character devices that are no serial port (a board that fails at once).
#include "package_files.h"
#include "pty_pair.h"
#include "watch_station.h"
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>

struct fake_source : port_source
{
    QMap<QString, seen_port> paths;
    QList<seen_port> system_list;
    QStringList entries(const QString &folder) override
    {
        QStringList names;
        for (const QString &path : paths.keys())
            if (path.startsWith(folder))
                names << path.mid(folder.size()).section('/', 0, 0);
        return names;
    }
    seen_port look_up(const QString &path) override { return paths.value(path, port(path, "")); }
    static seen_port port(const QString &name, const QString &device, bool character = false)
    {
        seen_port seen;
        seen.name = name, seen.port_name = QFileInfo(name).fileName(), seen.device = device;
        seen.character_device = character, seen.instance = "1";
        return seen;
    }
    QList<seen_port> listed() override { return system_list; }
    QMap<QString, QSerialPort::PinoutSignals> lines;
    bool modem_lines(const QString &device, QSerialPort::PinoutSignals *raised) override
    {
        return (*raised = lines.value(device)), true;
    }
    void release(const QString &) override {}
};

struct captured // standard output and error into files while a station runs
{
    QTemporaryFile files[2];
    int saved[2] = {dup(1), dup(2)};
    captured()
    {
        for (int fd : {1, 2})
            files[fd - 1].open(), fflush(fd == 1 ? stdout : stderr),
                dup2(files[fd - 1].handle(), fd);
    }
    QString text(int fd)
    {
        return QString::fromUtf8(package_files::read(files[fd - 1].fileName()));
    }
    ~captured()
    {
        fflush(stdout), fflush(stderr), dup2(saved[0], 1), dup2(saved[1], 2);
        close(saved[0]), close(saved[1]);
        if (QTest::currentTestFailed())
            qWarning("stdout:\n%s\nstderr:\n%s", qPrintable(text(1)), qPrintable(text(2)));
    }
};

class tst_ota_station : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); } // a write past the limit only fails

    void station_data()
    {
        // Steps: "add NAME DEVICE [sn=S] [id=V:P] [listed]" (DEVICE pty0, pty1: a board that
        // runs until ended; null, zero: one that fails at once; file: a regular file; gone: a
        // dangling link); "remove NAME"; "renode DEVICE": its node made again; "scan"; "lock" and
        // "unlock DEVICE" as another station; "hold" and "unhold DEVICE" as another program;
        // "rmlog"; "limit N": the log may grow N bytes more; "hup": SIGHUP; "line DEVICE
        // cts|dsr|-": its raised modem line.
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("options"); // patterns, --count, --present, "log=TEXT"
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QStringList>("records"); // NAME|result|part of reason, in log order
        QTest::addColumn<QString>("said");        // on standard error, once
        const QString old = R"({"port":"old","result":"succeeded","reason":"OTA成功"})";
        QTest::newRow("USB ids, serial numbers and listed names")
            << QStringList{"add tty0 null id=0403:6001 listed",
                           "add tty1 zero sn=A1B2D4 listed",
                           "add tty2 full id=0403:6015 sn=A1 listed",
                           "add COM10 random listed",
                           "add COM2 pty1 listed",
                           "scan"}
            << QStringList{"0403:6001", "sn:A1B2D*", "COM1*", "--count", "3"} << 4
            << QStringList{"COM10|port_error|cannot open", "tty0|port_error|cannot open",
                           "tty1|port_error|cannot open"}
            << "";
        QTest::newRow("a dangling link, a file and a folder are no ports")
            << QStringList{"add /d/usb-a gone", "add /d/usb-log file", "add /d/usb-x/y null",
                           "add /d/usb-b null", "scan"}
            << QStringList{"/d/usb-*", "--count", "1"} << 4
            << QStringList{"/d/usb-b|port_error|cannot open"} << "";
        QTest::newRow("swapped before the upgrade noticed")
            << QStringList{"add /d/a pty0", "scan", "remove /d/a", "scan",
                           "add /d/a pty0", "scan", "hup"}
            << QStringList{"/d/*"} << 130
            << QStringList{"/d/a|port_error|removed while its upgrade was running",
                           "/d/a|interrupted|"}
            << "";
        QTest::newRow("node made again within one look")
            << QStringList{"add /d/a null", "scan", "renode null", "scan"}
            << QStringList{"/d/*", "--count", "2"} << 4
            << QStringList{"/d/a|port_error|", "/d/a|port_error|"} << "";
        QTest::newRow("held by another station until it is free")
            << QStringList{"lock pty0", "add /d/a pty0", "add /d/b pty1", "scan",
                           "scan",      "unlock pty0",   "scan",          "hup"}
            << QStringList{"/d/*"} << 130 << QStringList{"/d/b|interrupted|", "/d/a|interrupted|"}
            << "/d/a: in use by another program";
        QTest::newRow("open in another program until it is free")
            << QStringList{"hold pty0",   "add /d/a pty0", "scan", "scan",
                           "unhold pty0", "scan",          "hup"}
            << QStringList{"/d/*"} << 130 << QStringList{"/d/a|interrupted|"}
            << "/d/a: in use by another program";
        QTest::newRow("SIGHUP") << QStringList{"add /d/a pty0", "scan", "hup"}
                                << QStringList{"/d/*"} << 130 << QStringList{"/d/a|interrupted|"}
                                << "";
        QTest::newRow("log removed: records go to a new one")
            << QStringList{"add /d/a null", "scan", "rmlog", "add /d/b zero", "scan"}
            << QStringList{"/d/*", "--count", "2", "log=" + old + "\n"} << 4
            << QStringList{"/d/b|port_error|"} << "was removed or renamed; a new one is started";
        QTest::newRow("a record cut short by an earlier run")
            << QStringList{"add /d/a null", "scan"}
            << QStringList{"/d/*", "--count", "1", "log=" + old.left(20)} << 4
            << QStringList{"@cut", "/d/a|port_error|"} << "ends in a record cut short";
        QTest::newRow("a record cut by a full disk is taken back")
            << QStringList{"add /d/a pty0", "scan", "limit 60", "hup"}
            << QStringList{"/d/*", "log=" + old + "\n"} << 6 << QStringList{"old|succeeded|"}
            << "STATION STOPPED";
        QTest::newRow("a board each time the presence line rises")
            << QStringList{"add /d/a null", "scan",          "line null cts", "scan",
                           "line null dsr", "scan",          "scan",          "line null -",
                           "scan",          "line null dsr", "scan"}
            << QStringList{"/d/*", "--present", "dsr", "--count", "2"} << 4
            << QStringList{"/d/a|port_error|dsr", "/d/a|port_error|dsr"} << "";
    }
    void station()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, options);
        QFETCH(QStringList, records);
        QFETCH(QString, said);
        QTemporaryDir dir;
        pty_pair ptys[2];
        const QMap<QString, QString> devices{
            {"pty0", ptys[0].slave_path()}, {"pty1", ptys[1].slave_path()},
            {"null", "/dev/null"},          {"zero", "/dev/zero"},
            {"full", "/dev/full"},          {"random", "/dev/urandom"},
            {"file", dir.filePath("log")}};
        watch_options watch;
        watch.log_path = dir.filePath("log");
        watch.timeout_ms = 0;
        for (int i = 0; i < options.size(); ++i)
            options[i] == "--present" ? void(watch.present = options[++i])
            : options[i] == "--count" ? void(watch.count = options[++i].toInt())
            : options[i].startsWith("log=")
                ? void(package_files::write(watch.log_path, options[i].mid(4).toUtf8()))
                : void(watch.patterns << options[i]);
        auto owned = std::make_unique<fake_source>();
        fake_source &source = *owned;
        std::map<QString, std::unique_ptr<QLockFile>> locks;
        std::map<QString, std::unique_ptr<QSerialPort>> held;
        int exit_code = -1;
        QString error;
        {
            captured output;
            watch_station station(watch, {"/image.bin", QByteArray(1000, 'x'), "00"},
                                  std::move(owned));
            QVERIFY(station.begin());
            for (const QString &step : script) {
                const QStringList words = step.split(' ');
                const QString device = devices.value(words.value(words[0] == "add" ? 2 : 1));
                if (words[0] == "add") {
                    seen_port port = fake_source::port(
                        words[1], words[2] == "gone" ? QString() : device, words[2] != "file");
                    for (const QString &word : words.mid(3).filter("="))
                        (word.startsWith("sn=") ? port.serial_number : port.vid_pid) = word.mid(3);
                    words.endsWith("listed") ? void(source.system_list << port)
                                             : void(source.paths.insert(words[1], port));
                    for (QString folder = QFileInfo(words[1]).path(); folder.size() > 1;
                         folder = QFileInfo(folder).path())
                        source.paths.insert(folder, fake_source::port(folder, folder));
                } else if (words[0] == "remove") {
                    source.paths.remove(words[1]);
                } else if (words[0] == "renode") {
                    for (seen_port &port : source.paths)
                        port.instance += port.device == device ? "+" : "";
                } else if (words[0] == "scan") {
                    station.scan();
                } else if (words[0] == "lock") {
                    locks[device] = std::make_unique<QLockFile>(watch_station::lock_path(device));
                    QVERIFY(locks[device]->tryLock(0));
                } else if (words[0] == "unlock") {
                    locks.erase(device);
                } else if (words[0] == "hold") {
                    held[device] = std::make_unique<QSerialPort>(device);
                    QVERIFY(held[device]->open(QIODevice::ReadWrite));
                } else if (words[0] == "unhold") {
                    held.erase(device);
                } else if (words[0] == "rmlog") {
                    QVERIFY(QFile::remove(watch.log_path));
                } else if (words[0] == "limit") {
                    const rlim_t size = rlim_t(QFileInfo(watch.log_path).size() + words[1].toInt());
                    const rlimit limit{size, RLIM_INFINITY};
                    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
                } else if (words[0] == "line") {
                    source.lines[device] = words[2] == "cts"   ? QSerialPort::ClearToSendSignal
                                           : words[2] == "dsr" ? QSerialPort::DataSetReadySignal
                                                               : QSerialPort::NoSignal;
                } else if (words[0] == "hup") {
                    raise(SIGHUP);
                    QTRY_VERIFY(station.is_stopping());
                }
            }
            exit_code = station.finish();
            const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &unlimited);
            error = output.text(2);
        }
        QTEST(exit_code, "exit_code");
        QVERIFY2(said.isEmpty() || error.count(said) == 1, qPrintable(error));
        QStringList found;
        for (const QByteArray &line : package_files::read(watch.log_path).split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            found << (o.isEmpty() ? QString(line.isEmpty() ? "" : "@cut")
                                  : QStringList{o["port"].toString(), o["result"].toString(),
                                                o["reason"].toString(), o["started_on"].toString()}
                                        .join('|'));
        }
        found.removeAll("");
        found.sort(), records.sort(); // boards that end together are recorded in any order
        QCOMPARE(found.size(), records.size());
        for (int i = 0; i < found.size(); ++i)
            QVERIFY2(found[i].startsWith(records[i].section('|', 0, 1)) &&
                         found[i].contains(records[i].section('|', 2)),
                     qPrintable(found.join('\n')));
    }
};

QTEST_GUILESS_MAIN(tst_ota_station)
#include "tst_ota_station.moc"
