#pragma once

// What the load, idle, slow-reader and memcheck programs share: a blocking
// loopback client for client threads, a server (the program's HTTP classes)
// over a temporary web root, and the process figures they print. All
// traffic goes to 127.0.0.1.

#include "core/state/MainState.h"
#include "http/HttpServer.h"
#include "http/ServerStatusView.h"
#include "http/TcpSocketArray.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace stress {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// CPU seconds (user + system) of the calling thread or of the whole process.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A port that fits the program's 16-bit port field and can be listened on now.
inline int freePort()
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = pick(random);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        const bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0
                        && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        if (ok)
            return port;
    }
    return 0;
}

// Runs the event loop until `done` holds; false if the time ran out first.
// A short wake-up timer lets conditions set by other threads be seen.
inline bool pumpUntil(const std::function<bool()>& done, int limitMs)
{
    QTimer wake;
    wake.start(2);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for a while with nothing of its own to do.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A loopback TCP socket, closed with its owner.
struct ClientSocket {
    explicit ClientSocket(int receiveBuffer = 0, bool nonBlocking = false)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
        if (fd >= 0 && receiveBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    ~ClientSocket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ClientSocket(const ClientSocket&) = delete;
    ClientSocket& operator=(const ClientSocket&) = delete;

    // A non-blocking connect to loopback completes in the kernel (or is under way).
    bool connectTo(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        return fd >= 0
               && (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EINPROGRESS);
    }

    int fd = -1;
};

struct FetchResult {
    std::string error; // empty when the answer was complete
    QByteArray header;
    QByteArray body;
    double ms = 0;     // connect to the server's close
};

// One request on a new blocking connection, read to the server's close.
// Complete means: status line, end of header, Content-Length equal to the
// body bytes received. For client threads: the server needs its own thread.
inline FetchResult fetchOnce(int port, const QByteArray& request, int timeoutSeconds = 10)
{
    FetchResult result;
    const auto start = Clock::now();
    ClientSocket socket;
    const timeval wait{timeoutSeconds, 0};
    ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(socket.fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    if (!socket.connectTo(port)) {
        result.error = std::string("connect: ") + std::strerror(errno);
        return result;
    }
    if (::send(socket.fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        result.error = std::string("send: ") + std::strerror(errno);
        return result;
    }
    QByteArray response;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            response.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = std::string("recv: ") + std::strerror(errno);
            return result;
        }
        break;
    }
    result.ms = msSince(start);
    const qsizetype end = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.1 200 OK\r\n") || end < 0) {
        result.error = "no complete header in " + std::to_string(response.size()) + " bytes";
        return result;
    }
    result.header = response.left(end + 2);
    result.body = response.mid(end + 4);
    const qsizetype at = result.header.indexOf("\r\nContent-Length: ");
    const qsizetype lineEnd = at < 0 ? -1 : result.header.indexOf("\r\n", at + 2);
    const qint64 length = at < 0 ? -1 : result.header.mid(at + 18, lineEnd - at - 18).toLongLong();
    if (length != result.body.size())
        result.error = "Content-Length " + std::to_string(length) + " but " + std::to_string(result.body.size())
                       + " bytes";
    return result;
}

inline QByteArray getRequest(const QByteArray& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

class RecordingView : public ServerStatusView {
public:
    void setServerCaption(const QString& text) override { caption = text; }
    void showServerWarning(const QString& text) override { warning = text; }
    QString caption;
    QString warning;
};

// The program's server classes over a temporary web root, on a configured
// port with the program's 100 slots; events are routed by the server itself.
struct BenchServer {
    bool start(int port)
    {
        if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("root/images")))
            return false;
        write("player.html", "<html>player</html>\n");
        write("error.htm", "<html>error</html>\n");
        state.TempPath = dir.path();
        state.imageName = QStringLiteral("VelmarixCamImage");
        state.cfgPort = int16_t(port);
        state.My_PORT = int16_t(port);
        state.maxSlots = 100;
        for (int i = 1; i <= state.maxSlots; ++i)
            webServer.load(i);
        server = std::make_unique<HttpServer>(state, webServer, view);
        server->connectEvents();
        server->StartServer();
        return view.caption == QLatin1String("Server: ON");
    }
    bool write(const QString& relative, const QByteArray& bytes) const
    {
        QFile file(dir.path() + QStringLiteral("/root/") + relative);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    QTemporaryDir dir;
    MainState state;
    TcpSocketArray webServer;
    RecordingView view;
    std::unique_ptr<HttpServer> server;
};

// Bytes that look like nothing in particular, of a given size.
inline QByteArray filler(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 251) & 0xFF);
    return data;
}

struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

inline Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[std::min(values.size() - 1, values.size() * 99 / 100)], values.back()};
}

} // namespace stress
