// A reader that never reads: a client with a small receive buffer asks for a
// 5 MB file and then takes nothing. The server must go on answering other
// clients (their latency is measured before and during the stall) and drop
// the stalled connection once it has made no progress for the stall time.
// Prints the figures; non-zero exit on a failed check. 127.0.0.1 only.
//   slow_reader [--stall-ms N | --default-stall]

#include "StressSupport.h"

#include <poll.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr qsizetype kBigFile = 5 * 1024 * 1024;
constexpr qsizetype kSnapshotFile = 220 * 1024; // a 1920 x 1080 snapshot
constexpr int kReceiveBuffer = 4096;
constexpr int kBaselineRequests = 200;
constexpr double kLatencyLimitMs = 1000;
constexpr double kDropSlackMs = 2000; // beyond the stall time, for a busy machine
constexpr double kCoarseTimer = 0.95;  // Qt's coarse timers may fire up to 5 % early
constexpr int kDefaultStallMs = 30000; // the socket control's own, unless told otherwise

struct Series {
    std::vector<double> latencies;
    int incomplete = 0;
};

// Fetches the snapshot-sized file in turn until told to stop or `count` is reached.
void fetchRepeatedly(int port, int count, const std::atomic<bool>& stop, Series& series)
{
    for (int i = 0; i < count && !stop; ++i) {
        const QByteArray path = "/images/VelmarixCamImage.jpg?" + QByteArray::number(i);
        const stress::FetchResult answer = stress::fetchOnce(port, stress::getRequest(path), 5);
        if (answer.error.empty() && answer.body.size() == kSnapshotFile)
            series.latencies.push_back(answer.ms);
        else
            ++series.incomplete;
    }
}

// True once the peer reset or ended the connection, whatever is still unread.
bool endedByServer(int fd)
{
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLRDHUP)) != 0;
}

void printSeries(const char* name, const Series& series)
{
    const stress::Spread spread = stress::spreadOf(series.latencies);
    std::printf("%s: %zu answered, %d incomplete; latency median %.2f ms, p99 %.2f ms, max %.2f ms\n", name,
                series.latencies.size(), series.incomplete, spread.median, spread.p99, spread.max);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_NO_GLIB", "1", 1);
    QCoreApplication app(argc, argv);
    int stallMs = 3000;
    bool defaultStall = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--default-stall")
            defaultStall = true;
        else if (arg == "--stall-ms" && i + 1 < argc)
            stallMs = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--stall-ms N | --default-stall]\n", argv[0]);
            return 2;
        }
    }
    if (defaultStall)
        stallMs = kDefaultStallMs;
    if (stallMs < 100 || stallMs > 120000) {
        std::fprintf(stderr, "stall time must be 100 to 120000 ms\n");
        return 2;
    }

    stress::BenchServer server;
    const int port = stress::freePort();
    if (port <= 0 || !server.start(port) || !server.write(QStringLiteral("big.bin"), stress::filler(kBigFile))
        || !server.write(QStringLiteral("images/VelmarixCamImage.jpg"), stress::filler(kSnapshotFile))) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    if (!defaultStall)
        server.webServer.setStallTimeout(std::chrono::milliseconds(stallMs));
    std::printf("slow reader: %lld-byte file, client receive buffer %d bytes, stall time %d ms%s\n",
                static_cast<long long>(kBigFile), kReceiveBuffer, stallMs, defaultStall ? " (the default)" : "");

    // Other clients on their own, for comparison.
    Series baseline;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::thread first([&] {
        fetchRepeatedly(port, kBaselineRequests, stop, baseline);
        finished = true;
    });
    stress::pumpUntil([&] { return finished.load(); }, 60000);
    first.join();

    stress::ClientSocket slow(kReceiveBuffer);
    if (!slow.connectTo(port)) {
        std::fprintf(stderr, "the slow client cannot connect\n");
        return 1;
    }
    const QByteArray request = stress::getRequest("/big.bin");
    if (::send(slow.fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        std::fprintf(stderr, "the slow client cannot send\n");
        return 1;
    }
    const auto asked = stress::Clock::now();
    const double cpuBefore = stress::cpuSeconds(RUSAGE_THREAD);

    Series during;
    finished = false;
    std::thread others([&] {
        fetchRepeatedly(port, 1 << 30, stop, during);
        finished = true;
    });
    bool heldInBackground = false;
    const bool dropped = stress::pumpUntil(
        [&] {
            heldInBackground = heldInBackground || server.webServer.backgroundConnections() > 0;
            return endedByServer(slow.fd);
        },
        stallMs + 30000);
    const double dropMs = stress::msSince(asked);
    const double serverCpu = stress::cpuSeconds(RUSAGE_THREAD) - cpuBefore;
    stop = true;
    stress::pumpUntil([&] { return finished.load(); }, 30000);
    others.join();
    stress::runFor(100);

    printSeries("other clients alone", baseline);
    printSeries("other clients while the reader stalls", during);
    std::printf("stalled reader %s after %.0f ms (stall time %d ms); server thread CPU meanwhile %.0f ms "
                "(%.1f %% of one core); connections still closing: %d\n",
                dropped ? "dropped" : "NOT dropped", dropMs, stallMs, serverCpu * 1000,
                100 * serverCpu * 1000 / dropMs, server.webServer.backgroundConnections());

    int failed = 0;
    auto check = [&failed](bool ok, const char* what) {
        std::printf("  %-58s %s\n", what, ok ? "ok" : "FAILED");
        failed += ok ? 0 : 1;
    };
    const stress::Spread spread = stress::spreadOf(during.latencies);
    check(heldInBackground, "the 5 MB answer was stuck in the server's queue");
    check(!during.latencies.empty() && during.incomplete == 0 && spread.max < kLatencyLimitMs,
          "other clients answered completely, each within 1 s");
    check(dropped && dropMs >= kCoarseTimer * stallMs && dropMs < stallMs + kDropSlackMs, "stalled reader dropped after the stall time");
    check(server.webServer.backgroundConnections() == 0, "nothing left over in the server");
    return failed == 0 ? 0 : 1;
}
