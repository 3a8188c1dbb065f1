// The MJPEG stream under load, in the whole program: a real main window with
// the test pattern at 1920 x 1080, five snapshots a second. Four phases of
// the same length, in one run:
//   idle      nothing connected
//   stream    50 stream clients (one reader thread here, poll over 50 sockets)
//   wrk       wrk on the web port (10 connections, "Connection: close")
//   both      wrk and the 50 stream clients
// Prints the program thread's CPU per frame per client against one JPEG
// encode of the same picture, the web port's request rate with and without
// the stream, the snapshot cycle rate, and the latency from the cycle's
// timer tick (the frame is taken right after it) to the last byte of that
// frame's part at a client. Traffic goes to 127.0.0.1 only.
//   stream_bench [--seconds S]

#include "CycleHarness.h"
#include "StressSupport.h"

#include "capture/control/CaptureControl.h"
#include "capture/source/TestPatternSource.h"
#include "core/frmMain.h"
#include "image/JpegEncoder.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include <poll.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace {

using stress::Clock;
constexpr int kRate = 5;
constexpr int kClients = 50;

double threadCpu()
{
    return stress::cpuSeconds(RUSAGE_THREAD);
}

// A frame is known by its length and last bytes; the pattern's clock makes them differ.
QByteArray frameKey(qsizetype length, const QByteArray& tail)
{
    return QByteArray::number(length) + ':' + tail.toHex();
}

// When each frame's cycle began, by key; written on the program's thread.
struct Stamps {
    std::mutex lock;
    std::map<QByteArray, Clock::time_point> taken;
};

class TickWatcher : public QObject {
public:
    Clock::time_point lastTick = Clock::now();
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            lastTick = Clock::now(); // the timer's event comes before its cycle runs
        return false;
    }
};

struct StreamReaders {
    std::atomic<bool> stop{false};
    std::atomic<long> parts{0};
    std::vector<std::pair<QByteArray, Clock::time_point>> arrivals;
    Stamps* stamps = nullptr;

    std::vector<double> latenciesMs()
    {
        std::vector<double> result;
        std::lock_guard guard(stamps->lock);
        for (const auto& [key, at] : arrivals) {
            const auto found = stamps->taken.find(key);
            if (found != stamps->taken.end())
                result.push_back(std::chrono::duration<double, std::milli>(at - found->second).count());
        }
        return result;
    }
    int connected = 0;

    void run(uint16_t port)
    {
        struct Reader {
            int fd;
            QByteArray text; // head or part header being read
            qsizetype left = -1; // body bytes still to come (+2 for CR LF), -1 reading a header
            qsizetype length = 0;
            QByteArray tail;
        };
        std::vector<Reader> readers;
        for (int i = 0; i < kClients; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::close(fd);
                continue;
            }
            ::send(fd, "GET /stream HTTP/1.1\r\n\r\n", 24, MSG_NOSIGNAL);
            readers.push_back({fd, {}, -1, 0, {}});
        }
        connected = static_cast<int>(readers.size());
        std::vector<char> buffer(1 << 18);
        std::vector<pollfd> fds(readers.size());
        while (!stop) {
            for (size_t i = 0; i < readers.size(); ++i)
                fds[i] = {readers[i].fd, POLLIN, 0};
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            for (size_t i = 0; i < readers.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                Reader& r = readers[i];
                const ssize_t n = ::recv(r.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n <= 0)
                    continue;
                const char* at = buffer.data();
                qsizetype rest = n;
                while (rest > 0) {
                    if (r.left < 0) {
                        r.text.append(at, 1);
                        ++at;
                        --rest;
                        if (!r.text.endsWith("\r\n\r\n"))
                            continue;
                        const qsizetype c = r.text.indexOf("Content-Length: ");
                        if (c >= 0) {
                            r.length = r.text.mid(c + 16, r.text.indexOf('\r', c) - c - 16).toLongLong();
                            r.left = r.length + 2;
                            r.tail.clear();
                        }
                        r.text.clear();
                        continue;
                    }
                    const qsizetype take = std::min(rest, r.left);
                    r.tail.append(at, take);
                    if (r.tail.size() > 64)
                        r.tail = r.tail.right(64);
                    at += take;
                    rest -= take;
                    r.left -= take;
                    if (r.left == 0) {
                        // Matched after the phase: the stamp is stored after the
                        // server has sent the frame, so it may not be there yet.
                        arrivals.emplace_back(frameKey(r.length, r.tail.left(r.tail.size() - 2).right(16)), Clock::now());
                        ++parts;
                        r.left = -1;
                    }
                }
            }
        }
        for (const Reader& r : readers)
            ::close(r.fd);
    }
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * double(values.size())))];
}

// One encode of the program's own latest picture, as the snapshot cycle does it.
double encodeMs(const QByteArray& snapshot)
{
    const QImage picture = QImage::fromData(snapshot, "JPEG").convertToFormat(QImage::Format_BGR888);
    const int width = picture.width(), height = picture.height(), pitch = (width * 3 + 3) & ~3;
    if (picture.isNull())
        return -1;
    std::vector<std::uint8_t> bits(static_cast<size_t>(pitch) * height);
    for (int y = 0; y < height; ++y) // bottom-up rows, as the image class keeps them
        std::memcpy(bits.data() + static_cast<size_t>(height - 1 - y) * pitch, picture.constScanLine(y), width * 3);
    JpegEncoder encoder;
    encoder.ensureReady();
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        const std::uint8_t* jpeg = nullptr;
        std::size_t size = 0;
        const auto start = Clock::now();
        encoder.encodeBottomUpBgr(bits.data(), width, pitch, height, 75, &jpeg, &size);
        times.push_back(stress::msSince(start));
    }
    return percentile(times, 0.5);
}

double wrkRate(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    stress::useOffscreenPlatform();
    QApplication app(argc, argv);
    int seconds = 10;
    if (argc == 3 && std::string(argv[1]) == "--seconds")
        seconds = std::clamp(std::atoi(argv[2]), 3, 120);

    stress::ScratchRoot dir;
    const int port = stress::freePort();
    const int streamPort = stress::freePort();
    if (!dir.isValid() || port <= 0 || port > 32767 || streamPort <= 0 || streamPort == port) {
        std::fprintf(stderr, "cannot prepare a web root and ports\n");
        return 1;
    }
    QFile settings(dir.filePath(QStringLiteral("Settings.ini")));
    if (!settings.open(QIODevice::WriteOnly)
        || settings.write("75\r\n" + QByteArray::number(kRate) + "\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n") <= 0)
        return 1;
    settings.close();

    frmMain::Environment env;
    env.tempPath = dir.path();
    env.catalog = createTestPatternCatalog();
    env.endProgram = [] {};
    env.streamPort = streamPort;
    frmMain window(std::move(env));
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.cam->selectFrameSize(QSize(1920, 1080));
    TickWatcher ticks;
    window.time->installEventFilter(&ticks);
    Stamps stamps;
    QObject::connect(&window.latestFrame(), &LatestFrame::published, [&] {
        const QByteArray jpeg = window.latestFrame().jpeg();
        std::lock_guard guard(stamps.lock);
        stamps.taken.emplace(frameKey(jpeg.size(), jpeg.right(16)), ticks.lastTick);
    });
    long cycles = 0;
    QObject::connect(&window.latestFrame(), &LatestFrame::published, [&] { ++cycles; });
    window.loadAndShow();
    if (!window.streamServer().isListening()) {
        std::fprintf(stderr, "the stream did not start on port %d\n", streamPort);
        return 1;
    }
    const double encode = encodeMs(window.latestFrame().jpeg());

    struct Phase {
        const char* name;
        bool stream;
        bool wrk;
        double cpu = 0, wall = 0, rate = 0, cycleRate = 0;
        long parts = 0;
        std::vector<double> latencies;
        bool fanOutOnly = false;
    } phases[] = {{"idle", false, false, 0, 0, 0, 0, 0, {}}, {"stream", true, false, 0, 0, 0, 0, 0, {}},
                  {"wrk", false, true, 0, 0, 0, 0, 0, {}}, {"both", true, true, 0, 0, 0, 0, 0, {}},
                  {"fan-out", true, false, 0, 0, 0, 0, 0, {}, true}};

    const QString url = QStringLiteral("http://127.0.0.1:%1/images/VelmarixCamImage.jpg").arg(port);
    for (Phase& phase : phases) {
        StreamReaders readers;
        readers.stamps = &stamps;
        std::thread readerThread;
        if (phase.stream) {
            readerThread = std::thread([&] { readers.run(static_cast<uint16_t>(streamPort)); });
            stress::pumpUntil([&] { return window.streamServer().streamClients() >= kClients; }, 10000);
            stress::runFor(1000); // past the first frames every client gets at once
            readers.parts = 0;
            readers.arrivals.clear(); // racy only in the bench's own bookkeeping, and only once
        }
        // The program's timers stopped and the last snapshot published again
        // at the same rate: all the thread does is serve the stream.
        QTimer republish;
        if (phase.fanOutOnly) {
            window.time->stop();
            window.timeTb->stop();
            const QByteArray jpeg = window.latestFrame().jpeg();
            QObject::connect(&republish, &QTimer::timeout, [&, jpeg] {
                window.latestFrame().publish(QByteArray(jpeg.constData(), jpeg.size()));
            });
            republish.start(1000 / kRate);
        }
        QProcess wrk;
        if (phase.wrk) {
            wrk.setProcessChannelMode(QProcess::MergedChannels);
            wrk.start(QStringLiteral("wrk"), {"-t1", "-c10", QStringLiteral("-d%1s").arg(seconds), "-H",
                                              "Connection: close", url});
            if (!wrk.waitForStarted(5000)) {
                std::fprintf(stderr, "cannot start wrk\n");
                return 1;
            }
        }
        const double cpuStart = threadCpu();
        const long cyclesStart = cycles;
        const auto start = Clock::now();
        stress::runFor(seconds * 1000);
        phase.cpu = threadCpu() - cpuStart;
        phase.wall = stress::msSince(start) / 1000;
        phase.cycleRate = double(cycles - cyclesStart) / phase.wall;
        republish.stop();
        phase.parts = readers.parts;
        if (phase.wrk) {
            stress::pumpUntil([&] { return wrk.state() == QProcess::NotRunning; }, 30000);
            phase.rate = wrkRate(QString::fromLocal8Bit(wrk.readAll()));
        }
        if (phase.stream) {
            readers.stop = true;
            readerThread.join();
            phase.latencies = readers.latenciesMs();
            stress::pumpUntil([&] { return window.streamServer().streamClients() == 0; }, 10000);
        }
        std::printf("%-7s program thread %5.1f %% of a core, cycles %.2f/s, stream parts %ld, wrk %.0f req/s\n", phase.name,
                    100 * phase.cpu / phase.wall, phase.cycleRate, phase.parts, phase.rate);
        std::fflush(stdout);
    }
    const Phase& stream = phases[1];
    const Phase& wrkOnly = phases[2];
    const Phase& both = phases[3];
    const Phase& fanOut = phases[4];
    const double frames = fanOut.cycleRate * fanOut.wall;
    const double perFrameMs = fanOut.cpu * 1000 / std::max(1.0, frames);
    std::printf("\n1920 x 1080 at %d/s, %d stream clients, %d s a phase\n", kRate, kClients, seconds);
    std::printf("one JPEG encode of the picture: %.2f ms\n", encode);
    std::printf("stream: %.3f ms of program CPU per frame for all %d clients = %.1f us per frame per client"
                " (%.3f encodes)\n", perFrameMs, kClients, 1000 * perFrameMs / kClients, perFrameMs / encode);
    std::printf("parts delivered while the cycle ran: %ld of %.0f (%.1f %%)\n", stream.parts,
                stream.cycleRate * stream.wall * kClients,
                100.0 * stream.parts / std::max(1.0, stream.cycleRate * stream.wall * kClients));
    std::printf("web port: %.0f req/s with the stream, %.0f without (%.1f %%)\n", both.rate, wrkOnly.rate,
                100 * both.rate / std::max(1.0, wrkOnly.rate));
    std::printf("program CPU per web request (whole thread over requests): %.1f us with the stream, %.1f us without\n",
                1e6 * both.cpu / std::max(1.0, both.rate * both.wall),
                1e6 * wrkOnly.cpu / std::max(1.0, wrkOnly.rate * wrkOnly.wall));
    std::printf("snapshot cycles: %.2f/s idle, %.2f/s stream, %.2f/s wrk, %.2f/s both\n", phases[0].cycleRate,
                stream.cycleRate, wrkOnly.cycleRate, both.cycleRate);
    for (const Phase* p : {&stream, &both})
        std::printf("latency tick to last byte (%s): median %.1f ms, p95 %.1f ms, %zu parts\n", p->name,
                    percentile(p->latencies, 0.5), percentile(p->latencies, 0.95), p->latencies.size());
    window.close();
    return 0;
}
