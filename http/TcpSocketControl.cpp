#include "http/TcpSocketControl.h"

#include "http/OwnAddress.h"
#include "http/SocketContext.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>

namespace {
// One read per readiness event; the request handler asks for this much.
constexpr qsizetype kReadChunk = 2048;
// Unread input beyond this stops further reads until ReadData takes some.
constexpr qsizetype kInboxLimit = 64 * 1024;
// Queued output beyond this is sent at once instead of at the close or on
// the return to the event loop, so large bodies start moving early.
constexpr qsizetype kEagerFlush = 256 * 1024;
// A listener that runs out of descriptors pauses rather than spinning.
constexpr int kAcceptPauseMs = 100;
// Bounds the work of one listener event, which answers the requests that
// came with their connections, so that timers are not held up for long.
constexpr int kAcceptBatch = 64;

bool isTransient(ssize_t result)
{
    return result == -EAGAIN || result == -EWOULDBLOCK || result == -EINTR;
}

// Errors accept() reports for one failed pending connection, not for the listener.
bool isConnectionError(int result)
{
    switch (-result) {
    case ECONNABORTED: case EPROTO: case EPERM: case ENETDOWN: case ENOPROTOOPT:
    case EHOSTDOWN: case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH:
    case EINTR:
        return true;
    default:
        return false;
    }
}

bool isOutOfResources(int result)
{
    return result == -EMFILE || result == -ENFILE || result == -ENOBUFS || result == -ENOMEM;
}
} // namespace

TcpSocketControl::TcpSocketControl(int index, SocketContext& context, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_context(context)
{
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &TcpSocketControl::onReadable);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, &TcpSocketControl::onWritable);
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        dropConnection(true);
        emit SocketEnded(m_index);
    });
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] {
        if (m_mode == Mode::Listening)
            m_readNotifier.setEnabled(true);
    });
}

TcpSocketControl::~TcpSocketControl()
{
    // The program is ending or the array is going away: open connections
    // are dropped, nothing is raised.
    suspendNotifiers();
    if (m_fd >= 0) {
        if (m_mode == Mode::Connected && !m_output.isEmpty())
            m_context.os().abort(m_fd);
        else
            m_context.os().close(m_fd);
    }
}

QString TcpSocketControl::OwnAddress() const
{
    // Bound to one IPv4 address, the listener answers there only: the host's
    // LAN address would be a dead link in the About window and the caption.
    in_addr bound{};
    if (inet_pton(AF_INET, m_bindAddress.constData(), &bound) == 1 && bound.s_addr != htonl(INADDR_ANY))
        return QString::fromLatin1(m_bindAddress);
    return primaryIpv4Address();
}

void TcpSocketControl::suspendNotifiers()
{
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_stallTimer.stop();
    m_resumeTimer.stop();
}

bool TcpSocketControl::StartListening()
{
    CloseSocket();
    if (m_port < 1) {
        m_lastError = EINVAL;
        return false;
    }
    const int fd = m_context.os().listenTcp(m_bindAddress, static_cast<uint16_t>(m_port));
    if (fd < 0) {
        m_lastError = -fd;
        return false;
    }
    m_lastError = 0;
    m_fd = fd;
    m_mode = Mode::Listening;
    m_readNotifier.setSocket(fd);
    m_readNotifier.setEnabled(true);
    return true;
}

void TcpSocketControl::CloseSocket()
{
    if (m_mode == Mode::Idle)
        return;
    suspendNotifiers();
    const int fd = m_fd;
    const Mode mode = m_mode;
    m_fd = -1;
    m_mode = Mode::Idle;
    if (mode == Mode::Listening) {
        m_context.os().close(fd);
        return;
    }
    // An answer, or input the peer sent beyond what was read, needs the
    // lingering close: closing with unread input, or meeting input that
    // comes after the close, makes the kernel reset the connection and
    // destroy the answer before the peer has read it.
    const bool linger = m_answered || !m_inbox.isEmpty() || m_lastReadFilled;
    m_inbox.clear();
    if (!m_output.isEmpty()) {
        switch (m_output.flush(m_context.os(), fd, nullptr, true)) {
        case OutputQueue::Flush::Done:
            break;
        case OutputQueue::Flush::Blocked:
            m_context.finishInBackground(fd, std::move(m_output));
            m_output = OutputQueue();
            return;
        case OutputQueue::Flush::Failed:
            m_output.clear();
            m_context.os().abort(fd);
            return;
        }
    }
    if (linger)
        m_context.closeAnswered(fd);
    else
        m_context.os().close(fd);
}

bool TcpSocketControl::TakeConnection(int handle)
{
    if (m_context.pendingHandles().erase(handle) == 0)
        return false;
    CloseSocket();
    m_fd = handle;
    m_mode = Mode::Connected;
    m_lastReadFilled = false;
    m_requestSeen = false;
    m_answered = false;
    m_connectedAt = std::chrono::steady_clock::now();
    ++m_generation;
    m_writeNotifier.setSocket(handle);
    m_readNotifier.setSocket(handle);
    // The listener reads a connection it hands over at once and arms the
    // notifier only if nothing was there, which saves turning it on and
    // off again for nearly every connection.
    if (!m_context.acceptingInline())
        m_readNotifier.setEnabled(true);
    m_context.setLastTaker(this);
    return true;
}

void TcpSocketControl::onReadable()
{
    if (m_mode == Mode::Listening)
        acceptPending();
    else if (m_mode == Mode::Connected)
        receive();
}

void TcpSocketControl::acceptPending()
{
    const int listenFd = m_fd;
    auto& pending = m_context.pendingHandles();
    // Awake anyway: answered connections whose peers have closed since the
    // last batch are closed now, without a wake-up of their own.
    m_context.reapLingering();
    // Whatever happens in the batch, the reserve descriptors are taken back.
    struct Restore {
        SocketContext& context;
        ~Restore() { context.restoreReserve(); }
    } restore{m_context};
    for (int i = 0; i < kAcceptBatch; ++i) {
        const int fd = m_context.os().accept(listenFd, &m_acceptedPeer);
        if (fd < 0) {
            if (fd == -EAGAIN || fd == -EWOULDBLOCK)
                return;
            if (isConnectionError(fd))
                continue;
            if (isOutOfResources(fd)) {
                // Idle connections must not keep viewers out for good.
                if (fd != -ENOBUFS && fd != -ENOMEM && m_context.freeDescriptors())
                    continue;
                m_readNotifier.setEnabled(false);
                m_resumeTimer.start(kAcceptPauseMs);
                return;
            }
            m_lastError = -fd;
            dropConnection(false);
            emit SocketEnded(m_index);
            return;
        }
        pending.insert(fd);
        m_context.takeLastTaker();
        m_context.setAcceptingInline(true);
        emit ConnectionRequest(m_index, fd);
        m_context.setAcceptingInline(false);
        // A handle nobody took would otherwise stay open for good.
        if (pending.erase(fd) != 0)
            m_context.os().close(fd);
        // A browser sends its request right after connecting, and the
        // listener defers connections until they have sent, so it is
        // usually here already: reading now saves a trip through the loop.
        TcpSocketControl* taker = m_context.takeLastTaker();
        if (taker && taker->HasConnection()) {
            taker->receive();
            if (taker->HasConnection() && !taker->m_readNotifier.isEnabled()
                && taker->m_inbox.size() < kInboxLimit)
                taker->m_readNotifier.setEnabled(true);
        }
        if (m_mode != Mode::Listening || m_fd != listenFd)
            return;
    }
}

void TcpSocketControl::receive()
{
    if (m_inbox.size() >= kInboxLimit) {
        m_readNotifier.setEnabled(false);
        return;
    }
    const qsizetype held = m_inbox.size();
    m_inbox.resize(held + kReadChunk);
    const ssize_t n = m_context.os().receive(m_fd, m_inbox.data() + held, kReadChunk);
    m_inbox.resize(held + std::max<ssize_t>(n, 0));
    if (n > 0) {
        m_lastReadFilled = n == kReadChunk;
        m_requestSeen = true;
        const quint64 generation = m_generation;
        m_inDataEvent = true;
        emit DataArrived(m_index);
        m_inDataEvent = false;
        // A handler that wrote and left the connection open: send from the loop.
        if (m_generation == generation && m_mode == Mode::Connected && !m_output.isEmpty())
            m_writeNotifier.setEnabled(true);
        return;
    }
    if (isTransient(n))
        return;
    dropConnection(!m_output.isEmpty());
    emit SocketEnded(m_index);
}

void TcpSocketControl::receiveWaiting()
{
    if (m_mode == Mode::Connected && m_readNotifier.isEnabled())
        receive();
}

int TcpSocketControl::ReadData(QByteArray& buffer, int length)
{
    buffer.clear();
    if (length <= 0)
        return 0;
    if (m_inbox.isEmpty() && m_mode == Mode::Connected) {
        m_inbox.resize(kReadChunk);
        const ssize_t n = m_context.os().receive(m_fd, m_inbox.data(), kReadChunk);
        m_inbox.resize(std::max<ssize_t>(n, 0));
        if (n > 0) {
            m_lastReadFilled = n == kReadChunk;
            m_requestSeen = true;
        }
        // An end of stream found here is raised by the next readiness event.
    }
    if (length >= m_inbox.size()) {
        buffer = std::move(m_inbox);
        m_inbox = QByteArray();
    } else {
        buffer = m_inbox.left(length);
        m_inbox.remove(0, length);
    }
    if (m_mode == Mode::Connected && !m_readNotifier.isEnabled() && m_inbox.size() < kInboxLimit)
        m_readNotifier.setEnabled(true);
    return static_cast<int>(buffer.size());
}

int TcpSocketControl::WriteData(const QByteArray& buffer, qsizetype offset, int length)
{
    if (m_mode != Mode::Connected || length <= 0)
        return 0;
    const qint64 before = m_output.size();
    m_output.append(buffer, offset, length);
    m_answered = true;
    const int taken = static_cast<int>(m_output.size() - before);
    outputQueued();
    return taken;
}

int TcpSocketControl::WriteFile(const std::shared_ptr<OpenFile>& file, qint64 offset, int length)
{
    if (m_mode != Mode::Connected || length <= 0 || !file)
        return 0;
    m_output.appendFile(file, offset, length);
    m_answered = true;
    outputQueued();
    return length;
}

void TcpSocketControl::outputQueued()
{
    // File ranges are read as the peer takes them, so only bytes in memory
    // count towards sending early. A socket known to be full is not asked
    // again before it says it has room.
    if (m_output.memoryBytes() < kEagerFlush || m_writeNotifier.isEnabled()) {
        // Sent with the close, or when the handler returns to the event loop.
        if (!m_inDataEvent && !m_writeNotifier.isEnabled())
            m_writeNotifier.setEnabled(true);
        return;
    }
    if (!flushOutput()) {
        // The failure is raised from the event loop, never from inside a write.
        const quint64 generation = ++m_generation;
        dropConnection(true);
        QTimer::singleShot(0, this, [this, generation] {
            if (m_generation == generation && m_mode == Mode::Idle)
                emit SocketEnded(m_index);
        });
    }
}

void TcpSocketControl::onWritable()
{
    if (m_mode != Mode::Connected) {
        m_writeNotifier.setEnabled(false);
        return;
    }
    if (!flushOutput()) {
        dropConnection(true);
        emit SocketEnded(m_index);
    }
}

bool TcpSocketControl::flushOutput()
{
    bool progressed = false;
    switch (m_output.flush(m_context.os(), m_fd, &progressed)) {
    case OutputQueue::Flush::Done:
        m_writeNotifier.setEnabled(false);
        m_stallTimer.stop();
        return true;
    case OutputQueue::Flush::Blocked:
        if (!m_writeNotifier.isEnabled())
            m_writeNotifier.setEnabled(true);
        if (progressed || !m_stallTimer.isActive())
            m_stallTimer.start(m_context.stallTimeout());
        return true;
    case OutputQueue::Flush::Failed:
        return false;
    }
    return false;
}

void TcpSocketControl::dropConnection(bool reset)
{
    suspendNotifiers();
    if (m_fd >= 0) {
        if (reset)
            m_context.os().abort(m_fd);
        else
            m_context.os().close(m_fd);
    }
    m_fd = -1;
    m_mode = Mode::Idle;
    m_inbox.clear();
    m_output.clear();
}
