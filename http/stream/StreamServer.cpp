#include "http/stream/StreamServer.h"

#include "http/ListenSocket.h"
#include "http/stream/StreamClient.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

constexpr int kAcceptBatch = 64;
// Connections still sending their request or a short answer, beyond the
// stream clients; past this a new connection is turned away at once.
constexpr int kExtraConnections = 32;
constexpr int kAcceptPauseMs = 100;

} // namespace

StreamServer::StreamServer(LatestFrame& frames, QObject* parent)
    : QObject(parent)
    , m_frames(frames)
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
    const int fd = openTcpListener(bindAddress.toLatin1(), port, false, &bound);
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

int64_t StreamServer::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray StreamServer::newestPartHeader()
{
    // Built once per frame and shared by every client.
    if (m_partHeaderSequence != m_frames.sequence()) {
        m_partHeader = partHeader(m_frames.jpeg().size());
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
        if (connections() >= m_limits.maxClients + kExtraConnections) {
            const QByteArray busy = textResponse(503, "Service Unavailable", "Too many viewers; try again later.\n");
            ::send(fd, busy.constData(), static_cast<size_t>(busy.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        if (m_limits.sendBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_limits.sendBuffer, sizeof m_limits.sendBuffer);
        m_clients.push_back(std::make_unique<StreamClient>(fd, *this, nowMs()));
    }
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
        const QByteArray jpeg = m_frames.jpeg();
        if (jpeg.isEmpty())
            return client->answerAndClose(
                textResponse(503, "Service Unavailable", "No picture yet.\n", request.headOnly));
        return client->answerAndClose(snapshotResponseHeader(jpeg.size()), request.headOnly ? QByteArray() : jpeg);
    }
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
        const bool slowRequest =
            client.state() == StreamClient::State::Request && now - client.startedMs() > m_limits.requestMs;
        const bool stalled = client.state() != StreamClient::State::Request && client.hasOutput()
            && now - client.busySinceMs() > m_limits.stallMs;
        if (slowRequest || stalled)
            client.end();
    }
}

void StreamServer::updateSweep()
{
    if (m_clients.empty()) {
        m_sweepTimer.stop();
        return;
    }
    const int64_t shortest = std::min(m_limits.stallMs, m_limits.requestMs);
    const int interval = static_cast<int>(std::clamp<int64_t>(shortest / 4, 10, 1000));
    if (!m_sweepTimer.isActive() || m_sweepTimer.interval() != interval)
        m_sweepTimer.start(interval);
}
