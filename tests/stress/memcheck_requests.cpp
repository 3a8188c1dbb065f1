// Driver for memory checks of the request handler: a given number of
// requests over loopback, each on its own connection, through the listener,
// the slot rotation and HttpServer::DataArrived, cycling through well-formed
// and malformed requests. Every answer must be complete; requests the text
// rules cannot process may instead be closed unanswered. Prints the time
// per request and the resident memory after the warm-up and at the end.
// Meant to run under valgrind (memcheck.sh) and natively for the RSS figures.
//   memcheck_requests [--requests N] [--rss-check]

#include "StressSupport.h"

#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr double kRssTolerance = 0.05;

struct RequestCase {
    QByteArray text;
    bool mayGoUnanswered; // no answer is defined for it
};

std::vector<RequestCase> requestCases()
{
    return {
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", false},
        {"GET /images/VelmarixCamImage.jpg?1234 HTTP/1.1\r\n\r\n", false},
        {"GET /../Settings.ini HTTP/1.1\r\n\r\n", false},
        {"GET //player.html HTTP/1.1\r\n\r\n", false},
        {"GET /images/ HTTP/1.1\r\n\r\n", false},
        {"HEAD /x.gif HTTP/1.1\r\n\r\n", false},
        {"GET /a*b?.jpg HTTP/1.1\r\n\r\n", false},
        {"GET /big.bin HTTP/1.1\r\n\r\n", false},
        {"GE", true},
        {"GET /" + QByteArray(3000, 'a'), true},
    };
}

// One request on a fresh non-blocking connection, driven by the event loop
// that also runs the server, read until the server closes.
class LoopbackRequest {
public:
    LoopbackRequest(int port, const QByteArray& text)
        : m_socket(0, true)
        , m_text(text)
        , m_readable(m_socket.fd, QSocketNotifier::Read)
        , m_writable(m_socket.fd, QSocketNotifier::Write)
    {
        QObject::connect(&m_readable, &QSocketNotifier::activated, [this] { receive(); });
        QObject::connect(&m_writable, &QSocketNotifier::activated, [this] { sendSome(); });
        if (!m_socket.connectTo(port))
            m_done = true;
    }
    bool done() const { return m_done; }
    const QByteArray& response() const { return m_response; }

private:
    void sendSome()
    {
        const ssize_t n = ::send(m_socket.fd, m_text.constData() + m_sent, size_t(m_text.size() - m_sent),
                                 MSG_NOSIGNAL);
        if (n > 0)
            m_sent += n;
        if (m_sent == m_text.size() || (n < 0 && errno != EAGAIN && errno != EINTR))
            m_writable.setEnabled(false);
    }
    void receive()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(m_socket.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                m_response.append(buffer, n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            m_done = true;
            m_readable.setEnabled(false);
            m_writable.setEnabled(false);
            return;
        }
    }

    stress::ClientSocket m_socket;
    QByteArray m_text;
    qsizetype m_sent = 0;
    QByteArray m_response;
    bool m_done = false;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
};

bool completeAnswer(const QByteArray& response)
{
    const qsizetype end = response.indexOf("\r\n\r\n");
    const qsizetype at = response.indexOf("\r\nContent-Length: ");
    if (!response.startsWith("HTTP/1.1 200 OK\r\n") || end < 0 || at < 0 || at > end)
        return false;
    const qint64 length = response.mid(at + 18, response.indexOf("\r\n", at + 2) - at - 18).toLongLong();
    return response.size() - end - 4 == length;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_NO_GLIB", "1", 1);
    QCoreApplication app(argc, argv);
    long requests = 100000;
    bool rssCheck = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--requests" && i + 1 < argc)
            requests = std::atol(argv[++i]);
        else if (arg == "--rss-check")
            rssCheck = true;
        else {
            std::fprintf(stderr, "usage: %s [--requests N] [--rss-check]\n", argv[0]);
            return 2;
        }
    }
    if (requests < 10 || requests > 10000000) {
        std::fprintf(stderr, "requests must be 10 to 10000000\n");
        return 2;
    }

    stress::BenchServer server;
    const int port = stress::freePort();
    if (port <= 0 || !server.start(port)
        || !server.write(QStringLiteral("images/VelmarixCamImage.jpg"), stress::filler(40000))
        || !server.write(QStringLiteral("big.bin"), stress::filler(300 * 1024))) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }

    const std::vector<RequestCase> cases = requestCases();
    const long warmUp = std::max(10L, requests / 10);
    long rssWarm = 0;
    long answered = 0;
    long unanswered = 0;
    long failures = 0;
    const auto start = stress::Clock::now();
    for (long i = 0; i < requests; ++i) {
        const RequestCase& c = cases[size_t(i) % cases.size()];
        LoopbackRequest request(port, c.text);
        if (!stress::pumpUntil([&] { return request.done(); }, 10000)) {
            ++failures;
            continue;
        }
        if (completeAnswer(request.response()))
            ++answered;
        else if (c.mayGoUnanswered && request.response().isEmpty())
            ++unanswered;
        else if (++failures <= 10)
            std::fprintf(stderr, "request %ld (%s...) got %lld bytes\n", i, c.text.left(20).constData(),
                         static_cast<long long>(request.response().size()));
        if (i + 1 == warmUp)
            rssWarm = stress::residentKb();
    }
    const double ms = stress::msSince(start);
    stress::pumpUntil([&] { return server.webServer.backgroundConnections() == 0; }, 5000);
    const long rssEnd = stress::residentKb();
    const double growth = rssWarm > 0 ? double(rssEnd - rssWarm) / double(rssWarm) : 1.0;

    std::printf("request handler: %ld requests in %.1f s (%.3f ms each): %ld answered, %ld closed unanswered, "
                "%ld failed; resident %ld kB after %ld requests, %ld kB at the end (%+.2f %%)\n",
                requests, ms / 1000, ms / double(requests), answered, unanswered, failures, rssWarm, warmUp, rssEnd,
                growth * 100);
    const bool rssOk = !rssCheck || growth <= kRssTolerance;
    const bool ok = failures == 0 && rssOk && server.webServer.backgroundConnections() == 0;
    if (!ok)
        std::printf("FAILED:%s%s%s\n", failures ? " incomplete answers" : "",
                    rssOk ? "" : " resident memory grew by more than 5 %",
                    server.webServer.backgroundConnections() ? " connections left closing" : "");
    return ok ? 0 : 1;
}
