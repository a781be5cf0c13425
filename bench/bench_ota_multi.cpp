// vantrel-ota flash and watch against 1, 8, 32 and 128 simulated devices at
// once (or the board counts given as arguments), each paced as a 115200-baud
// line, 256 KiB in 1024-byte slices; then one device paced at 921600 baud.
// Each board and its device are joined by two pseudo-terminal pairs and a
// relay thread that timestamps every answer and the tool's next frame. Prints
// the wall time against one board, each board's share of the stop-and-wait
// limit of its line, the tool's CPU time per board, the turnaround, and for
// watch the delay from a port appearing (its link made in a watched folder)
// to its start request.
#include "pty_pair.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef VANTREL_OTA_PATH
#error "VANTREL_OTA_PATH must name vantrel-ota"
#endif

extern char **environ;

namespace {

QTextStream out(stdout);

constexpr int image_size = 256 * 1024;
constexpr int slice_size = 1024;
// 8N1: ten bits on the wire per byte.
constexpr double bits_per_byte = 10.0;

double now_us()
{
    using namespace std::chrono;
    return double(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count()) /
           1000.0;
}

double mean(const std::vector<double> &values)
{
    double sum = 0;
    for (const double value : values)
        sum += value;
    return values.empty() ? 0 : sum / double(values.size());
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void write_all(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd descriptor{fd, POLLOUT, 0};
            poll(&descriptor, 1, 10);
        }
    }
}

// One board's cable: the tool opens one pair's slave, the device the
// other's; the relay copies between the masters.
struct cable
{
    pty_pair tool_side;
    pty_pair device_side;
    double answer_us = -1;
    double request_us = -1;
    // Watch: when its link was made, and the tool's first byte.
    double linked_us = -1;
    double first_byte_us = -1;
    std::vector<double> turnaround_us;
    // From the last byte of a request reaching the device to its answer.
    std::vector<double> device_us;
};

// Copies until told to stop. An answer is whatever the device sends; the
// turnaround runs from forwarding it to the first byte the tool sends next.
void relay(std::vector<std::unique_ptr<cable>> &cables, std::atomic<bool> &stop)
{
    std::vector<pollfd> fds;
    for (const auto &c : cables) {
        fds.push_back({c->tool_side.master(), POLLIN, 0});
        fds.push_back({c->device_side.master(), POLLIN, 0});
    }
    char buffer[65536];
    while (!stop) {
        if (poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        bool moved = false;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            cable &c = *cables[i / 2];
            const bool from_tool = i % 2 == 0;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0)
                continue;
            moved = true;
            const double at = now_us();
            if (from_tool && c.first_byte_us < 0)
                c.first_byte_us = at;
            if (from_tool && c.answer_us >= 0) {
                c.turnaround_us.push_back(at - c.answer_us);
                c.answer_us = -1;
            }
            if (!from_tool && c.request_us >= 0) {
                c.device_us.push_back(at - c.request_us);
                c.request_us = -1;
            }
            write_all(from_tool ? c.device_side.master() : c.tool_side.master(), buffer, got);
            (from_tool ? c.request_us : c.answer_us) = now_us();
        }
        // A master whose slave is not (or no longer) open reports a hang-up
        // on every poll; do not spin on it.
        if (!moved)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

struct run_result
{
    bool ok = false;
    double wall_s = 0;
    double cpu_s = 0;
    std::vector<double> board_seconds;
    std::vector<double> turnaround_us;
    std::vector<double> device_us;
    std::vector<double> start_delay_s;
};

// Wire time of a whole upgrade on an 8N1 line: start request and response,
// every data frame (slice + 13) with its acknowledgement (10), end frame and
// end response.
double protocol_limit_s(int baud)
{
    double bytes = 13 + 13 + 10 + 10;
    for (int offset = 0; offset < image_size; offset += slice_size)
        bytes += std::min(slice_size, image_size - offset) + 13 + 10;
    return bytes * bits_per_byte / baud;
}

run_result run(bool watch, int boards, int pace_baud, const QString &image_path, const QDir &dir)
{
    run_result result;
    std::vector<std::unique_ptr<cable>> cables;
    std::vector<std::unique_ptr<QProcess>> devices;
    static int runs = 0;
    const QString folder = dir.filePath(QStringLiteral("ports%1").arg(++runs));
    QStringList tool_arguments{watch ? QStringLiteral("watch") : QStringLiteral("flash"),
                               image_path, QStringLiteral("--baud"), QString::number(pace_baud),
                               QStringLiteral("--json")};
    if (watch) {
        QDir().mkpath(folder);
        tool_arguments << QStringLiteral("--match") << folder + QStringLiteral("/*")
                       << QStringLiteral("--count") << QString::number(boards);
    }
    for (int i = 0; i < boards; ++i) {
        cables.push_back(std::make_unique<cable>());
        auto device = std::make_unique<QProcess>();
        device->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        device->start(QStringLiteral(OTA_DEVICE_SIM_PATH),
                      {QStringLiteral("--port"), cables.back()->device_side.slave_path(),
                       QStringLiteral("--baud"), QString::number(pace_baud),
                       QStringLiteral("--frame-size"), QString::number(slice_size),
                       QStringLiteral("--pace"), QString::number(pace_baud),
                       QStringLiteral("--idle-timeout"), QStringLiteral("120000"),
                       QStringLiteral("--output"), dir.filePath(QStringLiteral("board%1").arg(i))});
        if (!device->waitForReadyRead(10000) || !device->readLine().startsWith("ready")) {
            out << "device " << i << " did not start\n";
            return result;
        }
        // Its frame log is not needed.
        device->closeReadChannel(QProcess::StandardOutput);
        devices.push_back(std::move(device));
        if (!watch)
            tool_arguments << QStringLiteral("--port") << cables.back()->tool_side.slave_path();
    }

    std::atomic<bool> stop{false};
    std::thread relay_thread([&] { relay(cables, stop); });

    // Started by hand so that wait4 gives this one child's CPU time.
    const QString json_path = dir.filePath(QStringLiteral("result.json"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, json_path.toLocal8Bit().constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<QByteArray> argument_bytes{QByteArray(VANTREL_OTA_PATH)};
    for (const QString &argument : tool_arguments)
        argument_bytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : argument_bytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    double started = now_us();
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, VANTREL_OTA_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (watch && spawned == 0) {
        // The station is up and looking; then every board is plugged in at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        started = now_us();
        for (size_t i = 0; i < cables.size(); ++i) {
            cables[i]->linked_us = now_us();
            QFile::link(cables[i]->tool_side.slave_path(),
                        folder + QStringLiteral("/board%1").arg(i));
        }
    }
    int status = 0;
    rusage usage{};
    if (spawned == 0)
        wait4(pid, &status, 0, &usage);
    result.wall_s = (now_us() - started) / 1e6;
    stop = true;
    relay_thread.join();
    for (auto &device : devices)
        device->waitForFinished(5000);
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out << "vantrel-ota failed (status " << status << ")\n";
        return result;
    }
    result.cpu_s = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

    QFile json(json_path);
    json.open(QIODevice::ReadOnly);
    while (!json.atEnd()) {
        const QJsonObject object = QJsonDocument::fromJson(json.readLine()).object();
        if (!object.isEmpty())
            result.board_seconds.push_back(object.value(QStringLiteral("seconds")).toDouble());
    }
    for (int i = 0; i < boards; ++i) {
        QFile received(dir.filePath(QStringLiteral("board%1").arg(i)));
        QFile image(image_path);
        if (!received.open(QIODevice::ReadOnly) || !image.open(QIODevice::ReadOnly) ||
            received.readAll() != image.readAll()) {
            out << "board " << i << " did not receive the image exactly\n";
            return result;
        }
        result.turnaround_us.insert(result.turnaround_us.end(), cables[i]->turnaround_us.begin(),
                                    cables[i]->turnaround_us.end());
        result.device_us.insert(result.device_us.end(), cables[i]->device_us.begin(),
                                cables[i]->device_us.end());
        if (watch)
            result.start_delay_s.push_back((cables[i]->first_byte_us - cables[i]->linked_us) / 1e6);
    }
    result.ok = int(result.board_seconds.size()) == boards;
    return result;
}

QString load_average()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(' ', 0, 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // Two pseudo-terminals and a simulated device's pipes per board, and the
    // tool's ports: 128 boards pass the usual soft limit of 1024.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    QTemporaryDir dir;
    QByteArray image(image_size, '\0');
    quint32 state = 0x12345678u;
    for (char &byte : image) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    const QString image_path = dir.filePath(QStringLiteral("image.bin"));
    QFile file(image_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();

    out << "vantrel-ota: 256 KiB image in 1024-byte slices per board; load average "
        << load_average() << " on " << std::thread::hardware_concurrency() << " cores\n";
    const double limit_s = protocol_limit_s(115200);
    out << "protocol limit at 115200 baud: " << QString::number(limit_s, 'f', 3) << " s per board ("
        << QString::number(100.0 * slice_size / (slice_size + 23), 'f', 1) << " % of the line)\n";

    std::vector<int> counts;
    for (const QString &argument : application.arguments().mid(1))
        if (argument.toInt() > 0)
            counts.push_back(argument.toInt());
    if (counts.empty())
        counts = {1, 8, 32, 128};
    // Every run is measured against one board.
    if (counts.front() != 1)
        counts.insert(counts.begin(), 1);

    for (const bool watch : {false, true}) {
        const char *mode = watch ? "watch" : "flash";
        double single_wall = 0;
        for (const int boards : counts) {
            const run_result result = run(watch, boards, 115200, image_path, QDir(dir.path()));
            if (!result.ok)
                return 1;
            if (boards == 1)
                single_wall = result.wall_s;
            std::vector<double> shares;
            for (const double seconds : result.board_seconds)
                shares.push_back(100.0 * limit_s / seconds);
            const double lowest = *std::min_element(shares.begin(), shares.end());
            out << mode << ", " << boards << " board(s) at 115200: wall "
                << QString::number(result.wall_s, 'f', 3)
                << " s = " << QString::number(result.wall_s / single_wall, 'f', 4)
                << "x one board (goal <= " << (boards > 32 ? "1.10" : "1.05") << ")\n"
                << "  share of the protocol limit per board: lowest "
                << QString::number(lowest, 'f', 2) << " %, median "
                << QString::number(median(shares), 'f', 2) << " % (goal >= 99 % up to 32)\n"
                << "  tool CPU " << QString::number(result.cpu_s, 'f', 3)
                << " s = " << QString::number(100.0 * result.cpu_s / result.wall_s / boards, 'f', 3)
                << " % of one core per board (goal < 0.5 %)\n"
                << "  answer to next frame median "
                << QString::number(median(result.turnaround_us), 'f', 0) << " us, mean "
                << QString::number(mean(result.turnaround_us), 'f', 0) << " us over "
                << result.turnaround_us.size() << " answers; the device answers a slice after "
                << QString::number(median(result.device_us) / 1000.0, 'f', 3)
                << " ms (median; wire time "
                << QString::number((slice_size + 23) * bits_per_byte * 1000 / 115200, 'f', 3)
                << " ms)\n";
            if (watch) {
                out << "  port appearing to its start request: median "
                    << QString::number(median(result.start_delay_s), 'f', 3) << " s, worst "
                    << QString::number(*std::max_element(result.start_delay_s.begin(),
                                                         result.start_delay_s.end()),
                                       'f', 3)
                    << " s (goal <= 0.5 s)\n";
            }
            out.flush();
        }
    }

    const run_result fast = run(false, 1, 921600, image_path, QDir(dir.path()));
    if (!fast.ok)
        return 1;
    std::vector<double> sorted = fast.turnaround_us;
    std::sort(sorted.begin(), sorted.end());
    out << "1 board at 921600: wall " << QString::number(fast.wall_s, 'f', 3) << " s, share "
        << QString::number(100.0 * protocol_limit_s(921600) / fast.board_seconds.front(), 'f', 2)
        << " %; answer to next frame median " << QString::number(median(sorted), 'f', 0)
        << " us, 90th percentile " << QString::number(sorted[sorted.size() * 9 / 10], 'f', 0)
        << " us over " << sorted.size() << " answers\n";
    return 0;
}
