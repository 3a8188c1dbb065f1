// Attacks one HTTP server on 127.0.0.1 the way a hostile peer could and
// measures what honest viewers get meanwhile. One scenario per run:
//   churn    200 idle sockets that reconnect when dropped; viewers send their
//            request 1, 10, 50 and 200 ms after connecting
//   readers  500 clients that request a 2 MB file and never read
//   sparse   loops requesting a 2 GiB - 1 sparse file (reading 256 KB each)
//   fdlimit  100 idle sockets held against a server with 64 descriptors;
//            then no new ones: how long until viewers are answered again
// Viewers fetch the snapshot and check status 200 and the whole body.
//   attack_bench <port> <server-pid> <scenario> [snapshot-dir]
// Bounded in count and time; traffic to 127.0.0.1 only.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
int g_port = 0;
int g_pid = 0;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int connectTo(int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(g_port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string request(const char* path)
{
    return std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// One viewer: connect, wait, ask for the snapshot, read to the end.
// Returns the milliseconds from the request to the last byte, or a
// negative reason: -1 no connection, -2 send failed, -3 reset or no byte for 5 s,
// -4 no answer at all, -5 not a whole 200 answer.
double viewer(int delayMs)
{
    const int fd = connectTo();
    if (fd < 0)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    const std::string text = request("/images/VelmarixCamImage.jpg");
    const auto start = Clock::now();
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size())) {
        ::close(fd);
        return -2;
    }
    std::string answer;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        answer.append(buffer, size_t(n));
    ::close(fd);
    const double ms = msSince(start);
    const size_t end = answer.find("\r\n\r\n");
    const size_t length = answer.find("Content-Length: ");
    if (n < 0)
        return -3;
    if (answer.empty())
        return -4;
    if (answer.rfind("HTTP/1.1 200", 0) != 0 || end == std::string::npos || length == std::string::npos)
        return -5;
    const long expected = std::atol(answer.c_str() + length + 16);
    return expected > 0 && answer.size() - end - 4 == size_t(expected) ? ms : -5;
}

void verdict(const char* target, bool met)
{
    std::printf("  target %s: %s\n", target, met ? "met" : "NOT met");
    std::fflush(stdout);
}

struct Tally {
    int tried = 0;
    std::vector<double> ms;
    int reasons[6] = {};
    void add(double result)
    {
        ++tried;
        if (result >= 0)
            ms.push_back(result);
        else
            ++reasons[std::min(5, int(-result))];
    }
    double answeredPercent() const { return tried ? 100.0 * double(ms.size()) / tried : 0.0; }
    double p95() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, size_t(sorted.size() * 0.95))];
    }
    void print(const char* what) const
    {
        std::printf("  %-34s viewers %3d/%3d answered (%5.1f %%), p95 %7.1f ms\n", what, int(ms.size()), tried,
                    answeredPercent(), p95());
        if (ms.size() != size_t(tried))
            std::printf("    failures: no connection %d, send %d, reset/timeout %d, empty %d, incomplete %d\n",
                        reasons[1], reasons[2], reasons[3], reasons[4], reasons[5]);
        std::fflush(stdout);
    }
};

long serverRssKb()
{
    std::ifstream status("/proc/" + std::to_string(g_pid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Idle sockets that reconnect as soon as the server drops them.
class IdleCrowd {
public:
    IdleCrowd(int count) : m_count(count) {}
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    // No new sockets from now on; those held stay open until stop().
    void holdOnly() { m_reconnect = false; }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    ~IdleCrowd() { stop(); }
    std::atomic<long> reconnects{0};

private:
    void run()
    {
        std::vector<int> fds(size_t(m_count), -1);
        while (m_running) {
            std::vector<pollfd> polls;
            for (int& fd : fds) {
                if (fd < 0 && m_reconnect) {
                    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                    sockaddr_in address{};
                    address.sin_family = AF_INET;
                    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    address.sin_port = htons(uint16_t(g_port));
                    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                    ++reconnects;
                }
                if (fd >= 0)
                    polls.push_back({fd, POLLIN, 0});
            }
            ::poll(polls.data(), polls.size(), 20);
            for (const pollfd& p : polls) {
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char byte;
                if (::recv(p.fd, &byte, 1, MSG_DONTWAIT) == -1 && errno == EAGAIN)
                    continue;
                ::close(p.fd);
                *std::find(fds.begin(), fds.end(), p.fd) = -1;
            }
        }
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    int m_count;
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_reconnect{true};
    std::thread m_thread;
};

void churn()
{
    IdleCrowd crowd(200);
    crowd.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    bool met = true;
    for (const int delay : {1, 10, 50, 200}) {
        Tally tally;
        const int count = delay >= 200 ? 25 : 50;
        for (int i = 0; i < count; ++i)
            tally.add(viewer(delay));
        tally.print(("200 idle churning, request after " + std::to_string(delay) + " ms").c_str());
        met = met && tally.answeredPercent() >= 99;
    }
    crowd.stop();
    std::printf("  idle reconnects during the run: %ld\n", crowd.reconnects.load());
    verdict("viewers >= 99 % at every delay", met);
}

void readers()
{
    const long rssBefore = serverRssKb();
    std::vector<int> fds;
    const std::string text = request("/big2m.bin");
    for (int i = 0; i < 500; ++i) {
        const int fd = connectTo(4096);
        if (fd < 0)
            continue;
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    long peak = serverRssKb();
    Tally tally;
    for (int i = 0; i < 40; ++i) {
        tally.add(viewer(1));
        peak = std::max(peak, serverRssKb());
    }
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peak = std::max(peak, serverRssKb());
    }
    tally.print("500 never-reading clients of 2 MB");
    for (int fd : fds)
        ::close(fd);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("  server RSS: %.1f MB before, peak %.1f MB (target < 64), %.1f MB 2 s after (%zu clients connected)\n",
                rssBefore / 1024.0, peak / 1024.0, serverRssKb() / 1024.0, fds.size());
    verdict("peak RSS < 64 MB, viewers >= 99 %", peak < 64 * 1024 && tally.answeredPercent() >= 99);
}

// Snapshot replacements seen in dir during ms milliseconds, per second.
double snapshotRate(const char* dir, int ms)
{
    if (!dir)
        return -1;
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0 || ::inotify_add_watch(fd, dir, IN_MOVED_TO | IN_CLOSE_WRITE) < 0)
        return -1;
    long events = 0;
    const auto start = Clock::now();
    alignas(inotify_event) char buffer[8192];
    while (msSince(start) < ms) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 50);
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->len && std::strcmp(event->name, "VelmarixCamImage.jpg") == 0)
                    ++events;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }
    ::close(fd);
    return events * 1000.0 / ms;
}

void sparse(const char* snapshotDir)
{
    const double quiet = snapshotRate(snapshotDir, 3000);
    std::atomic<bool> running{true};
    std::atomic<long> loops{0};
    std::vector<std::thread> attackers;
    for (int t = 0; t < 2; ++t) {
        attackers.emplace_back([&] {
            const std::string text = request("/sparse.bin");
            char buffer[65536];
            while (running) {
                const int fd = connectTo();
                if (fd < 0)
                    continue;
                ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
                size_t got = 0;
                ssize_t n;
                while (got < 256 * 1024 && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                    got += size_t(n);
                ::close(fd);
                ++loops;
            }
        });
    }
    double busy = -1;
    std::thread rate([&] { busy = snapshotRate(snapshotDir, 6000); });
    Tally tally;
    const auto start = Clock::now();
    for (int i = 0; i < 200 && msSince(start) < 6000; ++i) {
        tally.add(viewer(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    rate.join();
    running = false;
    for (std::thread& t : attackers)
        t.join();
    tally.print("loop on a 2 GiB - 1 sparse file");
    std::printf("  attack requests: %ld; snapshot replacements/s: %.2f quiet, %.2f under attack\n", loops.load(),
                quiet, busy);
    verdict("viewers >= 99 %, p95 < 50 ms, snapshot rate within 5 %",
            tally.answeredPercent() >= 99 && tally.p95() < 50 && busy >= 0.95 * quiet);
}

void fdlimit()
{
    IdleCrowd crowd(100);
    crowd.start();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Tally during;
    for (int i = 0; i < 20; ++i)
        during.add(viewer(1));
    during.print("100 idle against 64 descriptors");
    crowd.holdOnly();
    const auto stopped = Clock::now();
    double firstMs = -1;
    Tally after;
    while (msSince(stopped) < 10000 && after.tried < 200) {
        const double result = viewer(1);
        if (result >= 0 && firstMs < 0)
            firstMs = msSince(stopped);
        if (firstMs >= 0)
            after.add(result);
        if (after.tried >= 20)
            break;
    }
    crowd.stop();
    std::printf("  first viewer answered %.0f ms after the attacker stopped opening new sockets (target < 2000)\n",
                firstMs);
    after.print("  the 20 viewers from then on");
    verdict("answered again within 2 s", firstMs >= 0 && firstMs < 2000);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <port> <server-pid> churn|readers|sparse|fdlimit [snapshot-dir]\n", argv[0]);
        return 2;
    }
    g_port = std::atoi(argv[1]);
    g_pid = std::atoi(argv[2]);
    const std::string scenario = argv[3];
    const char* snapshotDir = argc > 4 ? argv[4] : nullptr;
    if (scenario == "churn")
        churn();
    else if (scenario == "readers")
        readers();
    else if (scenario == "sparse")
        sparse(snapshotDir);
    else if (scenario == "fdlimit")
        fdlimit();
    else
        return 2;
    return 0;
}
