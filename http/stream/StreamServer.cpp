#include "http/stream/StreamServer.h"

#include "http/ListenSocket.h"
#include "http/stream/StreamClient.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

constexpr int kAcceptBatch = 64;
constexpr int kAcceptPauseMs = 100;

using Clients = std::vector<std::unique_ptr<StreamClient>>;

int countIn(const Clients& clients, StreamClient::State state)
{
    return static_cast<int>(std::count_if(clients.begin(), clients.end(), [state](const auto& client) {
        return client->state() == state;
    }));
}

// The first (oldest) client in `state` that `accept` takes.
template <typename Accept>
StreamClient* oldestIn(const Clients& clients, StreamClient::State state, Accept accept)
{
    for (const auto& client : clients)
        if (client->state() == state && accept(*client))
            return client.get();
    return nullptr;
}

int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

StreamServer::StreamServer(LatestFrame& frames, QObject* parent)
    : QObject(parent)
    , m_frames(frames)
    , m_clock(steadyMs)
{
    connect(&m_frames, &LatestFrame::published, this, &StreamServer::framePublished);
    connect(&m_sweepTimer, &QTimer::timeout, this, &StreamServer::sweep);
    m_acceptPause.setSingleShot(true);
    connect(&m_acceptPause, &QTimer::timeout, this, [this] {
        if (m_listenNotifier)
            m_listenNotifier->setEnabled(true);
    });
    updateSweep();
}

StreamServer::~StreamServer()
{
    close();
}

int StreamServer::listen(uint16_t port, const QString& bindAddress)
{
    close();
    uint16_t bound = 0;
    // Idle connections wait in the kernel until they send, so silent ones
    // cost nothing here until the deferral runs out.
    const int fd = openTcpListener(bindAddress.toLatin1(), port, m_limits.deferAcceptSeconds > 0, &bound);
    if (fd < 0)
        return -fd;
    m_listenFd = fd;
    m_port = bound;
    m_listenNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_listenNotifier.get(), &QSocketNotifier::activated, this, &StreamServer::acceptPending);
    return 0;
}

void StreamServer::close()
{
    m_acceptPause.stop();
    m_listenNotifier.reset();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    m_port = 0;
    for (const auto& client : m_clients)
        client->end();
    removeEnded();
}

void StreamServer::setLimits(const Limits& limits)
{
    m_limits = limits;
    m_limits.maxClients = std::max(0, m_limits.maxClients);
    updateSweep();
}

int StreamServer::connections() const
{
    return static_cast<int>(std::count_if(m_clients.begin(), m_clients.end(), [](const auto& client) {
        return client->state() != StreamClient::State::Ended;
    }));
}

void StreamServer::setClock(std::function<int64_t()> clock)
{
    m_clock = clock ? std::move(clock) : steadyMs;
}

int64_t StreamServer::nowMs() const
{
    return m_clock();
}

QByteArray StreamServer::newestPartHeader()
{
    // Built once per frame and shared by every client.
    if (m_partHeaderSequence != m_frames.sequence()) {
        m_partHeader = partHeader(m_frames.jpeg().size(), m_frames.captureTimeUs());
        m_partHeaderSequence = m_frames.sequence();
    }
    return m_partHeader;
}

void StreamServer::acceptPending()
{
    for (int i = 0; i < kAcceptBatch && m_listenFd >= 0; ++i) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: wait for some to close rather than spin.
                m_listenNotifier->setEnabled(false);
                m_acceptPause.start(kAcceptPauseMs);
            }
            break; // EAGAIN, or an error of that one connection
        }
        if (m_limits.sendBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_limits.sendBuffer, sizeof m_limits.sendBuffer);
        if (m_limits.unsentBytes > 0)
            ::setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &m_limits.unsentBytes, sizeof m_limits.unsentBytes);
        m_clients.push_back(std::make_unique<StreamClient>(fd, *this, nowMs()));
        StreamClient* client = m_clients.back().get();
        client->readNow();
        if (client->state() == StreamClient::State::Request)
            makeRoomForWaiting(client);
    }
    updateSweep();
}

void StreamServer::makeRoomForWaiting(const StreamClient* newest)
{
    if (countIn(m_clients, StreamClient::State::Request) <= kMaxWaiting)
        return;
    const auto older = [newest](const StreamClient& client) { return &client != newest; };
    StreamClient* shed = oldestIn(m_clients, StreamClient::State::Request, [&](const StreamClient& client) {
        return older(client) && !client.heardFrom();
    });
    if (!shed)
        shed = oldestIn(m_clients, StreamClient::State::Request, older);
    if (shed)
        shed->end();
}

void StreamServer::clientLingering(StreamClient* client)
{
    if (countIn(m_clients, StreamClient::State::Lingering) <= kMaxLingering)
        return;
    // The oldest has had its answer longest; it most likely has it all.
    if (StreamClient* oldest = oldestIn(m_clients, StreamClient::State::Lingering,
                                        [client](const StreamClient& other) { return &other != client; }))
        oldest->closeQuietly();
    updateSweep();
}

void StreamServer::requestReceived(StreamClient* client, const StreamRequest& request)
{
    switch (request.route) {
    case StreamRoute::Incomplete:
        return;
    case StreamRoute::Stream:
        if (request.headOnly)
            return client->answerAndClose(streamResponseHeader());
        if (m_streaming >= m_limits.maxClients)
            return client->answerAndClose(
                textResponse(503, "Service Unavailable", "Too many viewers; try again later.\n"));
        ++m_streaming;
        emit streamClientsChanged(m_streaming);
        return client->startStream(streamResponseHeader());
    case StreamRoute::Snapshot: {
        if (m_streaming + countIn(m_clients, StreamClient::State::Finishing) >= m_limits.maxClients + kExtraAnswers)
            return client->answerAndClose(
                textResponse(503, "Service Unavailable", "Too many viewers; try again later.\n", request.headOnly));
        const QByteArray jpeg = m_frames.jpeg();
        const qint64 capturedUs = m_frames.captureTimeUs();
        if (jpeg.isEmpty())
            return client->answerAndClose(
                textResponse(503, "Service Unavailable", "No picture yet.\n", request.headOnly));
        return client->answerAndClose(snapshotResponseHeader(jpeg.size(), capturedUs), request.headOnly ? QByteArray() : jpeg);
    }
    case StreamRoute::Health:
        if (m_health) {
            const Health health = m_health();
            return client->answerAndClose(jsonResponse(health.status == 200 ? 200 : 503, health.json, request.headOnly));
        }
        [[fallthrough]];
    case StreamRoute::NotFound:
        return client->answerAndClose(
            textResponse(404, "Not Found", "Not found. Try /stream or /snapshot.\n", request.headOnly));
    case StreamRoute::NotAllowed:
        return client->answerAndClose(textResponse(405, "Method Not Allowed", "Only GET and HEAD.\n"));
    case StreamRoute::BadRequest:
        return client->answerAndClose(textResponse(400, "Bad Request", "Bad request.\n"));
    }
}

void StreamServer::clientEnded(StreamClient* client)
{
    (void)client;
    // Removed later: the client may still be on the stack.
    if (!m_removalQueued) {
        m_removalQueued = true;
        QMetaObject::invokeMethod(this, &StreamServer::removeEnded, Qt::QueuedConnection);
    }
}

void StreamServer::removeEnded()
{
    m_removalQueued = false;
    const auto ended = std::remove_if(m_clients.begin(), m_clients.end(), [](const auto& client) {
        return client->state() == StreamClient::State::Ended;
    });
    m_clients.erase(ended, m_clients.end());
    const int streaming = static_cast<int>(std::count_if(m_clients.begin(), m_clients.end(), [](const auto& client) {
        return client->state() == StreamClient::State::Streaming;
    }));
    if (streaming != m_streaming) {
        m_streaming = streaming;
        emit streamClientsChanged(m_streaming);
    }
    updateSweep();
}

void StreamServer::framePublished()
{
    // Indexed: a client that fails ends itself but stays in the list.
    for (size_t i = 0; i < m_clients.size(); ++i)
        m_clients[i]->frameReady();
}

void StreamServer::sweep()
{
    const int64_t now = nowMs();
    for (size_t i = 0; i < m_clients.size(); ++i) {
        StreamClient& client = *m_clients[i];
        switch (client.state()) {
        case StreamClient::State::Request:
            if (now - client.startedMs() > m_limits.requestMs)
                client.end();
            break;
        case StreamClient::State::Streaming:
        case StreamClient::State::Finishing:
            if (client.waitingToWrite() && now - client.busySinceMs() > m_limits.stallMs)
                client.end();
            break;
        case StreamClient::State::Lingering:
            if (now - client.busySinceMs() > m_limits.lingerMs)
                client.closeQuietly();
            break;
        case StreamClient::State::Ended:
            break;
        }
    }
}

void StreamServer::updateSweep()
{
    if (m_clients.empty()) {
        m_sweepTimer.stop();
        return;
    }
    const int64_t shortest = std::min({m_limits.stallMs, m_limits.requestMs, m_limits.lingerMs});
    const int interval = static_cast<int>(std::clamp<int64_t>(shortest / 4, 10, 1000));
    if (!m_sweepTimer.isActive() || m_sweepTimer.interval() != interval)
        m_sweepTimer.start(interval);
}
