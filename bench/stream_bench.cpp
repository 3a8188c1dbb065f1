// The MJPEG stream under load, in the whole program: a real main window with
// the test pattern at 1920 x 1080 and 30 frames a second, five snapshots a
// second. Four phases of the same length, in one run:
//   idle      nothing connected
//   stream    50 stream clients (one reader thread here, poll over 50 sockets)
//   wrk       wrk on the web port (10 connections, "Connection: close")
//   both      wrk and the 50 stream clients
// Prints the frames a second each client receives, the program's CPU per
// stream frame for all clients against one bare encode of the same picture
// (measured in the same run), the web port's rate with and without the
// stream, the longest event-loop stall, and the frames' age at the client
// from their X-Timestamp, each against its target. Traffic goes to
// 127.0.0.1 only.
//   stream_bench [--seconds S]

#include "CycleHarness.h"
#include "StressSupport.h"

#include "capture/control/CaptureControl.h"
#include "capture/source/TestPatternSource.h"
#include "core/frmMain.h"
#include "image/FrameJpeg.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>

#include <poll.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

using stress::Clock;
constexpr int kRate = 5;
constexpr int kFps = 30;
constexpr int kClients = 50;

qint64 wallUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

struct StreamReaders {
    std::atomic<bool> stop{false};
    std::atomic<bool> counting{false};
    std::vector<long> parts;     // per client, while counting
    std::vector<double> agesMs;  // capture time to last byte, while counting
    double cpuSeconds = 0;       // this thread's own, taken off the program's
    int connected = 0;

    void run(uint16_t port)
    {
        struct Reader {
            int fd;
            QByteArray text;     // head or part header being read
            qsizetype left = -1; // body bytes still to come (+2 for CR LF), -1 reading a header
            qint64 stampUs = 0;
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
            readers.push_back({fd, {}, -1, 0});
        }
        connected = static_cast<int>(readers.size());
        parts.assign(readers.size(), 0);
        std::vector<char> buffer(1 << 18);
        std::vector<pollfd> fds(readers.size());
        const double cpuStart = stress::cpuSeconds(RUSAGE_THREAD);
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
                        r.text.append(*at++);
                        --rest;
                        if (!r.text.endsWith("\r\n\r\n"))
                            continue;
                        const qsizetype c = r.text.indexOf("Content-Length: ");
                        if (c >= 0) {
                            r.left = r.text.mid(c + 16, r.text.indexOf('\r', c) - c - 16).toLongLong() + 2;
                            const qsizetype s = r.text.indexOf("X-Timestamp: ");
                            r.stampUs = s < 0 ? 0
                                              : qint64(r.text.mid(s + 13, r.text.indexOf('\r', s) - s - 13).toDouble()
                                                       * 1e6);
                        }
                        r.text.clear();
                        continue;
                    }
                    const qsizetype take = std::min(rest, r.left);
                    at += take;
                    rest -= take;
                    r.left -= take;
                    if (r.left == 0) {
                        if (counting) {
                            ++parts[i];
                            if (r.stampUs > 0)
                                agesMs.push_back(double(wallUs() - r.stampUs) / 1000);
                        }
                        r.left = -1;
                    }
                }
            }
        }
        cpuSeconds = stress::cpuSeconds(RUSAGE_THREAD) - cpuStart;
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

// One bare encode of the pattern's picture, as the encoder makes it: median of 21.
double encodeMs(const QImage& picture, int quality)
{
    FrameJpeg jpeg;
    CameraImage frame;
    frame.picture = picture;
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        const auto start = Clock::now();
        jpeg.encode(frame, quality, false);
        times.push_back(stress::msSince(start));
    }
    return percentile(times, 0.5);
}

double wrkRate(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT met";
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
    auto* pattern = qobject_cast<TestPatternSource*>(window.cam->source());
    if (!pattern) {
        std::fprintf(stderr, "the source is not the test pattern\n");
        return 1;
    }
    pattern->setFrameRate(kFps);
    window.loadAndShow();
    if (!window.streamServer().isListening()) {
        std::fprintf(stderr, "the stream did not start on port %d\n", streamPort);
        return 1;
    }
    const double encode = encodeMs(pattern->grabStill(nullptr), window.state().quality);

    struct Phase {
        Phase(const char* n, bool s, bool w) : name(n), stream(s), wrk(w) {}
        const char* name;
        bool stream;
        bool wrk;
        double cpu = 0, wall = 0, rate = 0, stallMs = 0;
        quint64 encoded = 0, skipped = 0, sourceFrames = 0;
        std::vector<long> parts;
        std::vector<double> ages;
    } phases[] = {{"idle", false, false}, {"stream", true, false}, {"wrk", false, true}, {"both", true, true}};

    const QString url = QStringLiteral("http://127.0.0.1:%1/images/VelmarixCamImage.jpg").arg(port);
    stress::StallProbe stalls;
    for (Phase& phase : phases) {
        StreamReaders readers;
        std::thread readerThread;
        if (phase.stream) {
            readerThread = std::thread([&] { readers.run(static_cast<uint16_t>(streamPort)); });
            stress::pumpUntil([&] { return window.streamServer().streamClients() >= kClients; }, 10000);
            stress::runFor(1000); // past the first frames every client gets at once
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
        readers.counting = true;
        const StreamEncoder::Counts countsStart = window.streamEncoder().counts();
        const quint64 sourceStart = pattern->frameSlot()->sequence();
        const double cpuStart = stress::cpuSeconds(RUSAGE_SELF);
        const auto start = Clock::now();
        stalls.restart();
        stress::runFor(seconds * 1000);
        phase.stallMs = stalls.longestMs();
        readers.counting = false;
        phase.wall = stress::msSince(start) / 1000;
        phase.cpu = stress::cpuSeconds(RUSAGE_SELF) - cpuStart;
        phase.encoded = window.streamEncoder().counts().encoded - countsStart.encoded;
        phase.skipped = window.streamEncoder().counts().skipped - countsStart.skipped;
        phase.sourceFrames = pattern->frameSlot()->sequence() - sourceStart;
        if (phase.wrk) {
            stress::pumpUntil([&] { return wrk.state() == QProcess::NotRunning; }, 30000);
            phase.rate = wrkRate(QString::fromLocal8Bit(wrk.readAll()));
        }
        if (phase.stream) {
            readers.stop = true;
            readerThread.join();
            phase.cpu -= readers.cpuSeconds; // about: the reader's CPU after the phase is in too
            phase.parts = readers.parts;
            phase.ages = readers.agesMs;
            stress::pumpUntil([&] { return window.streamServer().streamClients() == 0; }, 10000);
        }
        std::printf("%-7s program %5.1f %% of a core, source %.1f frames/s, encoded %.1f/s (%llu skipped),"
                    " %zu clients, wrk %.0f req/s, longest stall %.1f ms\n",
                    phase.name, 100 * phase.cpu / phase.wall, double(phase.sourceFrames) / phase.wall,
                    double(phase.encoded) / phase.wall, static_cast<unsigned long long>(phase.skipped),
                    phase.parts.size(), phase.rate, phase.stallMs);
        std::fflush(stdout);
    }
    const Phase& idle = phases[0];
    const Phase& stream = phases[1];
    const Phase& wrkOnly = phases[2];
    const Phase& both = phases[3];

    std::vector<double> fps;
    for (long parts : stream.parts)
        fps.push_back(double(parts) / stream.wall);
    const double slowest = fps.empty() ? 0 : *std::min_element(fps.begin(), fps.end());
    const double streamCpuMs = (stream.cpu - idle.cpu / idle.wall * stream.wall) * 1000;
    const double perFrameMs = streamCpuMs / std::max<double>(1, double(stream.encoded));
    const double webShare = 100 * both.rate / std::max(1.0, wrkOnly.rate);
    const double stall = std::max(stream.stallMs, both.stallMs);
    const double age95 = percentile(stream.ages, 0.95);

    std::printf("\n1920 x 1080 test pattern at %d/s, snapshots at %d/s, %d stream clients, %d s a phase\n", kFps,
                kRate, kClients, seconds);
    std::printf("one bare encode of the picture: %.2f ms\n", encode);
    std::printf("frames a second each client receives: slowest %.1f, median %.1f (target >= 29): %s\n", slowest,
                percentile(fps, 0.5), verdict(slowest >= 29 && int(fps.size()) == kClients));
    std::printf("program CPU per stream frame for all clients: %.2f ms = %.2f encodes (target < 1.5): %s\n",
                perFrameMs, perFrameMs / encode, verdict(perFrameMs / encode < 1.5));
    std::printf("web port: %.0f req/s with the stream, %.0f without = %.1f %% (target >= 90 %%): %s\n", both.rate,
                wrkOnly.rate, webShare, verdict(webShare >= 90));
    std::printf("longest event-loop stall with the stream: %.1f ms (target <= 20 ms): %s;"
                " without any client or wrk: %.1f ms\n", stall, verdict(stall <= 20), idle.stallMs);
    std::printf("frame age at the client from X-Timestamp: median %.1f ms, p95 %.1f ms, with wrk p95 %.1f ms"
                " (target p95 <= 50 ms): %s\n",
                percentile(stream.ages, 0.5), age95, percentile(both.ages, 0.95), verdict(age95 >= 0 && age95 <= 50));
    window.close();
    return 0;
}
