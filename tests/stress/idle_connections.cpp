// Idle connections: 500 connections are opened to the server and left
// silent; the slot rotation holds at most 99 of them and drops the rest.
// More are opened until all 99 slots hold one. While they wait, the
// server's CPU time over 5 s should be near zero; then normal requests must
// be answered within a second each, the first one taking its slot from the
// idle connections. Prints the figures; non-zero exit on a
// failed check. Traffic goes to 127.0.0.1 only.
//   idle_connections [--connections N] [--idle-seconds S]

#include "StressSupport.h"

#include <QTimer>

#include <poll.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int kNormalRequests = 20;
constexpr double kAnswerLimitMs = 1000;
constexpr double kIdleCpuLimit = 0.01; // share of one core while nothing happens

// Enough descriptors for the clients, the server's side of them and Qt's own.
bool raiseDescriptorLimit(int needed)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= rlim_t(needed))
        return true;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(needed));
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= rlim_t(needed);
}

// Idle clients whose connection the server has ended (end of stream or reset).
int countEnded(const std::vector<std::unique_ptr<stress::ClientSocket>>& clients)
{
    std::vector<pollfd> fds;
    for (const auto& client : clients)
        fds.push_back({client->fd, POLLIN, 0});
    ::poll(fds.data(), fds.size(), 0);
    int ended = 0;
    for (const pollfd& p : fds)
        ended += (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0 ? 1 : 0;
    return ended;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_NO_GLIB", "1", 1);
    QCoreApplication app(argc, argv);
    int connections = 500;
    int idleSeconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--connections")
            connections = std::atoi(argv[i + 1]);
        else if (name == "--idle-seconds")
            idleSeconds = std::atoi(argv[i + 1]);
    }
    if (connections < 1 || connections > 5000 || idleSeconds < 1 || idleSeconds > 60) {
        std::fprintf(stderr, "usage: %s [--connections 1..5000] [--idle-seconds 1..60]\n", argv[0]);
        return 2;
    }
    if (!raiseDescriptorLimit(2 * connections + 256)) {
        std::fprintf(stderr, "cannot raise the descriptor limit to %d\n", 2 * connections + 256);
        return 1;
    }

    stress::BenchServer server;
    const int port = stress::freePort();
    if (port <= 0 || !server.start(port)
        || !server.write(QStringLiteral("images/VelmarixCamImage.jpg"), stress::filler(220 * 1024))) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    long accepted = 0;
    QObject::connect(&server.webServer, &TcpSocketArray::ConnectionRequest, [&accepted] { ++accepted; });

    std::vector<std::unique_ptr<stress::ClientSocket>> idle;
    for (int i = 0; i < connections; ++i) {
        idle.push_back(std::make_unique<stress::ClientSocket>(0, true));
        if (!idle.back()->connectTo(port)) {
            std::fprintf(stderr, "connection %d failed: %s\n", i, std::strerror(errno));
            return 1;
        }
        // Accepted as they come, as a listener sees them in real life.
        if (i % 50 == 49)
            stress::pumpUntil([&] { return accepted >= i + 1; }, 2000);
    }
    const bool allAccepted = stress::pumpUntil([&] { return accepted >= connections; }, 10000);
    stress::runFor(200); // let the closes settle
    const long acceptedIdle = accepted;
    const int droppedByRotation = countEnded(idle);
    const int heldAfterOpening = connections - droppedByRotation;

    // Top up so that every slot holds an idle connection when the normal requests come.
    const int topUp = std::max(0, 99 - heldAfterOpening);
    for (int i = 0; i < topUp; ++i) {
        idle.push_back(std::make_unique<stress::ClientSocket>(0, true));
        if (!idle.back()->connectTo(port))
            return 1;
    }
    const bool toppedUp = stress::pumpUntil([&] { return accepted >= connections + topUp; }, 10000);
    stress::runFor(100);
    const int endedBefore = countEnded(idle);

    // Nothing to do: the loop should sleep in poll.
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    const double cpuBefore = stress::cpuSeconds(RUSAGE_THREAD);
    const auto idleStart = stress::Clock::now();
    stress::runFor(idleSeconds * 1000);
    const double idleWall = stress::msSince(idleStart) / 1000.0;
    const double idleCpu = stress::cpuSeconds(RUSAGE_THREAD) - cpuBefore;
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    const long switches = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);

    // Normal requests from a client thread while the server thread serves.
    std::vector<double> latencies;
    int incomplete = 0;
    std::atomic<bool> done{false};
    std::thread client([&] {
        for (int i = 0; i < kNormalRequests; ++i) {
            const QByteArray path = i % 2 ? QByteArray("/") : "/images/VelmarixCamImage.jpg?" + QByteArray::number(i);
            const stress::FetchResult answer = stress::fetchOnce(port, stress::getRequest(path), 5);
            if (answer.error.empty())
                latencies.push_back(answer.ms);
            else
                ++incomplete;
        }
        done = true;
    });
    stress::pumpUntil([&] { return done.load(); }, 60000);
    client.join();
    stress::runFor(100);
    const int endedAfter = countEnded(idle);
    const stress::Spread spread = stress::spreadOf(latencies);

    std::printf("idle connections: %d opened, %ld accepted, %d dropped by the slot rotation, %d held; "
                "%d more opened: %d held\n",
                connections, acceptedIdle, droppedByRotation, heldAfterOpening, topUp,
                int(idle.size()) - endedBefore);
    std::printf("server thread while they wait: %.1f ms CPU in %.1f s (%.3f %% of one core), %ld context switches\n",
                idleCpu * 1000, idleWall, 100 * idleCpu / idleWall, switches);
    std::printf("normal requests: %zu answered, %d incomplete; latency median %.2f ms, max %.2f ms; "
                "idle connections dropped for them: %d\n",
                latencies.size(), incomplete, spread.median, spread.max, endedAfter - endedBefore);

    int failed = 0;
    auto check = [&failed](bool ok, const char* what) {
        std::printf("  %-56s %s\n", what, ok ? "ok" : "FAILED");
        failed += ok ? 0 : 1;
    };
    check(allAccepted && toppedUp, "every idle connection accepted");
    check(heldAfterOpening <= 99 && int(idle.size()) - endedBefore <= 99, "at most 99 connections held");
    check(idleCpu / idleWall < kIdleCpuLimit, "idle CPU below 1 % of one core");
    check(incomplete == 0 && spread.max < kAnswerLimitMs, "every normal request answered within 1 s");
    return failed == 0 ? 0 : 1;
}
