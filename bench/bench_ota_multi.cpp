// vantrel-ota flash and watch against 1, 8, 32 and 128 simulated devices at
// once (or the board counts given as arguments), each on a 115200-baud line,
// 256 KiB in 1024-byte slices; then one device at 921600 baud. Each board and
// its device are joined by two pseudo-terminal pairs and a relay thread that
// stands for the line: it hands every byte over when its last bit would
// arrive, and timestamps every answer and the tool's next frame. Prints the
// wall time against one board; each board's share of the stop-and-wait limit
// of its line, with the relay's own lateness taken out and end to end; the
// tool's CPU time per board; the turnaround; and for watch the delay from a
// port appearing (its link made in a watched folder) to its start request.
// Every figure is the median over --repeat N runs (3 unless given), leaving
// out runs in which the machine stalled, unless every run did.
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
#include <cmath>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
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

// One direction of a cable at the line's rate: bytes that left one end at
// `t` reach the other when their last bit does, no sooner than the bytes
// before them.
struct wire
{
    double free_at_us = 0;
    std::deque<std::pair<double, std::string>> in_flight;

    void send(const char *data, ssize_t size, double at_us, int baud)
    {
        free_at_us = std::max(at_us, free_at_us) + double(size) * bits_per_byte * 1e6 / baud;
        in_flight.emplace_back(free_at_us, std::string(data, size_t(size)));
    }
};

// One board's cable: the tool opens one pair's slave, the device the
// other's; the relay carries bytes between the masters as the line would.
struct cable
{
    pty_pair tool_side;
    pty_pair device_side;
    wire to_device;
    wire to_tool;
    double answer_us = -1;
    double request_us = -1;
    // When the last request reached the device: its answer leaves then.
    double delivered_us = -1;
    // Watch: when its link was made, and the tool's first byte.
    double linked_us = -1;
    double first_byte_us = -1;
    std::vector<double> turnaround_us;
    // From a request reaching the device to its answer.
    std::vector<double> device_us;
    // How late the relay handed bytes over against the line's time. Of
    // bytes handed over in pieces only the last piece before the other end
    // answers counts: that is when the other end could answer.
    std::vector<double> late_us;
    double pending_late_us[2] = {-1, -1}; // to the device, to the tool

    void settle_late(bool to_tool)
    {
        double &pending = pending_late_us[to_tool ? 1 : 0];
        if (pending >= 0)
            late_us.push_back(pending);
        pending = -1;
    }
};

// Carries bytes until told to stop, timed to the microsecond, so that the
// tool is measured against an exact line and a device that answers the moment
// a request's last byte is in: an answer leaves when its request arrived,
// however long the simulated device took to write it (printed), and its wire
// time hides that unless the device is slower. An answer's turnaround runs
// from handing it to the tool to the tool's next byte.
constexpr double wake_margin_us = 300;

void relay(std::vector<std::unique_ptr<cable>> &cables, int baud, std::atomic<bool> &stop)
{
    // The kernel may otherwise round every wake-up up by 50 us.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<pollfd> fds;
    for (const auto &c : cables) {
        fds.push_back({c->tool_side.master(), POLLIN, 0});
        fds.push_back({c->device_side.master(), POLLIN, 0});
    }
    // A master whose slave is not (or no longer) open reports a hang-up on
    // every poll: it rests a while instead of spinning.
    std::vector<double> resting_until(fds.size(), 0);
    char buffer[65536];
    while (!stop) {
        double now = now_us();
        double wake = now + 20000;
        for (auto &c : cables) {
            for (const bool to_tool : {false, true}) {
                wire &line = to_tool ? c->to_tool : c->to_device;
                while (!line.in_flight.empty() && line.in_flight.front().first <= now) {
                    const auto &[due, bytes] = line.in_flight.front();
                    write_all(to_tool ? c->tool_side.master() : c->device_side.master(),
                              bytes.data(), ssize_t(bytes.size()));
                    now = now_us();
                    c->pending_late_us[to_tool ? 1 : 0] = now - due;
                    (to_tool ? c->answer_us : c->request_us) = now;
                    if (!to_tool)
                        c->delivered_us = now;
                    line.in_flight.pop_front();
                }
                if (!line.in_flight.empty())
                    wake = std::min(wake, line.in_flight.front().first);
            }
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (resting_until[i] > now)
                wake = std::min(wake, resting_until[i]);
            fds[i].fd = resting_until[i] > now ? -1
                                               : (i % 2 == 0 ? cables[i / 2]->tool_side.master()
                                                             : cables[i / 2]->device_side.master());
        }
        // Woken this much early, the relay waits out the rest awake: a
        // sleeping thread here wakes a hundred microseconds or more late.
        const double wait_us = std::max(0.0, wake - now - wake_margin_us);
        const timespec timeout{time_t(wait_us / 1e6), long(std::fmod(wait_us, 1e6) * 1000)};
        if (ppoll(fds.data(), fds.size(), &timeout, nullptr) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            cable &c = *cables[i / 2];
            const bool from_tool = i % 2 == 0;
            const ssize_t got =
                fds[i].revents & POLLIN ? ::read(fds[i].fd, buffer, sizeof buffer) : 0;
            const double at = now_us();
            if (got <= 0) {
                resting_until[i] = at + 2000;
                continue;
            }
            c.settle_late(from_tool);
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
            if (from_tool)
                c.to_device.send(buffer, got, at, baud);
            else
                c.to_tool.send(buffer, got, c.delivered_us >= 0 ? c.delivered_us : at, baud);
        }
    }
}

struct run_result
{
    bool ok = false;
    double wall_s = 0;
    double cpu_s = 0;
    // Each board's share of the protocol limit, end to end and with the
    // relay's lateness taken out: what the tool and the host's serial path
    // cost on a punctual line.
    std::vector<double> shares;
    std::vector<double> own_shares;
    std::vector<double> turnaround_us;
    std::vector<double> device_us;
    std::vector<double> late_us;
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
    std::thread relay_thread([&] { relay(cables, pace_baud, stop); });

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
    // The end response had no answer after it.
    for (auto &c : cables)
        c->settle_late(true), c->settle_late(false);
    for (auto &device : devices)
        device->waitForFinished(5000);
    if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out << "vantrel-ota failed (status " << status << ")\n";
        return result;
    }
    result.cpu_s = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

    const double limit_s = protocol_limit_s(pace_baud);
    QFile json(json_path);
    json.open(QIODevice::ReadOnly);
    while (!json.atEnd()) {
        const QJsonObject object = QJsonDocument::fromJson(json.readLine()).object();
        const QString port = object.value(QStringLiteral("port")).toString();
        for (int i = 0; i < boards; ++i) {
            if (port != (watch ? folder + QStringLiteral("/board%1").arg(i)
                               : cables[size_t(i)]->tool_side.slave_path()))
                continue;
            const double seconds = object.value(QStringLiteral("seconds")).toDouble();
            double late_s = 0;
            for (const double late : cables[size_t(i)]->late_us)
                late_s += late / 1e6;
            result.shares.push_back(100.0 * limit_s / seconds);
            result.own_shares.push_back(100.0 * limit_s / (seconds - late_s));
        }
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
        result.late_us.insert(result.late_us.end(), cables[i]->late_us.begin(),
                              cables[i]->late_us.end());
        if (watch)
            result.start_delay_s.push_back((cables[i]->first_byte_us - cables[i]->linked_us) / 1e6);
    }
    result.ok = int(result.shares.size()) == boards;
    return result;
}

// A delivery this late means the relay, which has little else to do, did
// not run: the machine itself stalled.
constexpr double stall_us = 5000;

// One run's figures.
struct run_summary
{
    double wall = 0, lowest = 0, middle = 0, own_lowest = 0, own_middle = 0, cpu = 0;
    double turnaround = 0, turnaround_mean = 0, device = 0, late = 0, late_mean = 0;
    double start_median = 0, start_worst = 0;
    int stalls = 0;
};

run_summary summarize(const run_result &result, int boards)
{
    run_summary summary;
    summary.wall = result.wall_s;
    summary.lowest = *std::min_element(result.shares.begin(), result.shares.end());
    summary.middle = median(result.shares);
    summary.own_lowest = *std::min_element(result.own_shares.begin(), result.own_shares.end());
    summary.own_middle = median(result.own_shares);
    summary.cpu = 100.0 * result.cpu_s / result.wall_s / boards;
    summary.turnaround = median(result.turnaround_us);
    summary.turnaround_mean = mean(result.turnaround_us);
    summary.device = median(result.device_us);
    summary.late = median(result.late_us);
    summary.late_mean = mean(result.late_us);
    summary.stalls = int(std::count_if(result.late_us.begin(), result.late_us.end(),
                                       [](double late) { return late >= stall_us; }));
    if (!result.start_delay_s.empty()) {
        summary.start_median = median(result.start_delay_s);
        summary.start_worst =
            *std::max_element(result.start_delay_s.begin(), result.start_delay_s.end());
    }
    return summary;
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
    int repeats = 3;
    const QStringList arguments = application.arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--repeat") && i + 1 < arguments.size())
            repeats = std::max(1, arguments[++i].toInt());
        else if (arguments[i].toInt() > 0)
            counts.push_back(arguments[i].toInt());
    }
    if (counts.empty())
        counts = {1, 8, 32, 128};
    // Every run is measured against one board.
    if (counts.front() != 1)
        counts.insert(counts.begin(), 1);
    out << "each figure is the median over " << repeats
        << " runs, leaving out those in which the machine stalled\n";

    for (const bool watch : {false, true}) {
        const char *mode = watch ? "watch" : "flash";
        double single_wall = 0;
        for (const int boards : counts) {
            std::vector<run_summary> runs;
            for (int repeat = 0; repeat < repeats; ++repeat) {
                const run_result result = run(watch, boards, 115200, image_path, QDir(dir.path()));
                if (!result.ok)
                    return 1;
                runs.push_back(summarize(result, boards));
            }
            // A run in which the machine stalled measures the machine: this
            // one counts no stolen time apart, and charges it to whatever ran.
            std::vector<run_summary> chosen;
            for (const run_summary &summary : runs)
                if (summary.stalls == 0)
                    chosen.push_back(summary);
            const size_t stalled = runs.size() - chosen.size();
            if (chosen.empty())
                chosen = runs;
            const auto number = [&chosen](double run_summary::*figure, int decimals) {
                std::vector<double> values;
                for (const run_summary &summary : chosen)
                    values.push_back(summary.*figure);
                return QString::number(median(values), 'f', decimals);
            };
            const double wall = number(&run_summary::wall, 6).toDouble();
            if (boards == 1)
                single_wall = wall;
            out << mode << ", " << boards << " board(s) at 115200: wall "
                << QString::number(wall, 'f', 3)
                << " s = " << QString::number(wall / single_wall, 'f', 4)
                << "x one board (goal <= " << (boards > 32 ? "1.10" : "1.05") << ")\n"
                << "  runs: " << runs.size() << ", with a stall of the machine (a byte "
                << "handed over " << stall_us / 1000 << " ms late or more): " << stalled
                << (stalled == runs.size() ? "; figures from all\n" : "; figures from the others\n")
                << "  share of the protocol limit per board: lowest "
                << number(&run_summary::own_lowest, 2) << " %, median "
                << number(&run_summary::own_middle, 2) << " % (goal >= 99 % up to 32)\n"
                << "  end to end, with the line model's lateness: lowest "
                << number(&run_summary::lowest, 2) << " %, median "
                << number(&run_summary::middle, 2) << " %\n"
                << "  tool CPU " << number(&run_summary::cpu, 3)
                << " % of one core per board (goal < 0.5 %)\n"
                << "  answer to next frame: median " << number(&run_summary::turnaround, 0)
                << " us, mean " << number(&run_summary::turnaround_mean, 0) << " us\n"
                << "  line model: the simulated device answers in "
                << number(&run_summary::device, 0) << " us; bytes handed over late by "
                << number(&run_summary::late, 0) << " us (median), "
                << number(&run_summary::late_mean, 0) << " us (mean)\n";
            if (watch) {
                out << "  port appearing to its start request: median "
                    << number(&run_summary::start_median, 3) << " s, worst "
                    << number(&run_summary::start_worst, 3) << " s (goal <= 0.5 s)\n";
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
        << QString::number(fast.own_shares.front(), 'f', 2) << " % (end to end "
        << QString::number(fast.shares.front(), 'f', 2) << " %); answer to next frame median "
        << QString::number(median(sorted), 'f', 0) << " us, 90th percentile "
        << QString::number(sorted[sorted.size() * 9 / 10], 'f', 0) << " us over " << sorted.size()
        << " answers\n";
    return 0;
}
