#include "http/stream/StreamClient.h"

#include "http/stream/StreamServer.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr qsizetype kReadChunk = 4096;
constexpr int kMaxPieces = 8;
constexpr qsizetype kMaxDiscard = 256 * 1024;

bool isTransient(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

StreamClient::StreamClient(int fd, StreamServer& server, int64_t nowMs)
    : m_fd(fd)
    , m_server(server)
    , m_startedMs(nowMs)
    , m_busySinceMs(nowMs)
    , m_readNotifier(fd, QSocketNotifier::Read)
    , m_writeNotifier(fd, QSocketNotifier::Write)
{
    m_writeNotifier.setEnabled(false);
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &StreamClient::onReadable);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, &StreamClient::onWritable);
}

StreamClient::~StreamClient()
{
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
}

void StreamClient::end()
{
    if (m_state == State::Ended)
        return;
    if (m_fd >= 0) {
        // A client dropped with bytes still queued gets a reset, so the
        // kernel frees its buffers now instead of after a long retry.
        const linger reset{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    closeQuietly();
}

void StreamClient::closeQuietly()
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_pieces.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_server.clientEnded(this);
}

void StreamClient::onReadable()
{
    char chunk[kReadChunk];
    // Bounded: a peer that keeps sending cannot hold the loop here.
    for (int round = 0; round < 4; ++round) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0) {
            if (isTransient(errno))
                return;
            return end();
        }
        if (n == 0) {
            if (m_state == State::Lingering)
                return closeQuietly(); // the peer has all of the answer
            if (m_state != State::Finishing)
                return end(); // the peer has gone
            // Only its sending side is shut: the answer still goes out.
            m_peerDone = true;
            m_readNotifier.setEnabled(false);
            return;
        }
        m_heardFrom = true;
        if (m_state == State::Lingering && (m_discarded += n) > kMaxDiscard)
            return closeQuietly(); // a peer that keeps sending gets no more of our time
        if (m_state != State::Request)
            continue; // anything after the request is read and ignored
        m_request.append(chunk, n);
        const StreamRequest request = parseStreamRequest(m_request);
        if (request.route == StreamRoute::Incomplete)
            continue;
        m_request.clear();
        m_server.requestReceived(this, request);
        if (m_state == State::Ended)
            return;
    }
}

void StreamClient::onWritable()
{
    // The socket has room (its unsent bytes are below the low-water mark):
    // only now is the frame chosen, so it is the newest there is.
    if (m_pieces.empty() && m_state == State::Streaming && m_frameWaiting)
        queueNewestFrame();
    if (!flush())
        return end();
    afterFlush();
}

void StreamClient::startStream(const QByteArray& head)
{
    m_state = State::Streaming;
    queue(head);
    // A fresh socket has room for the first frame at once.
    if (!m_server.newestJpeg().isEmpty())
        queueNewestFrame();
    if (!flush())
        return end();
    afterFlush();
}

void StreamClient::answerAndClose(const QByteArray& head, const QByteArray& body)
{
    m_state = State::Finishing;
    queue(head);
    queue(body);
    if (!flush())
        return end();
    afterFlush();
}

void StreamClient::frameReady()
{
    if (m_state != State::Streaming)
        return;
    m_frameWaiting = true;
    if (m_pieces.empty())
        setWriteInterest(true);
}

void StreamClient::queue(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_pieces.empty())
        m_busySinceMs = m_server.nowMs();
    m_pieces.push_back(Piece{bytes, 0});
}

void StreamClient::queueNewestFrame()
{
    m_frameWaiting = false;
    const quint64 sequence = m_server.newestSequence();
    if (sequence == m_sentSequence)
        return;
    // One whole frame, held by reference: a newer frame published while it
    // is on its way replaces the server's copy, not this one.
    queue(m_server.newestPartHeader());
    queue(m_server.newestJpeg());
    queue(QByteArrayLiteral("\r\n"));
    m_sentSequence = sequence;
    ++m_framesSent;
}

bool StreamClient::flush()
{
    while (!m_pieces.empty()) {
        iovec pieces[kMaxPieces];
        int count = 0;
        for (const Piece& piece : m_pieces) {
            if (count == kMaxPieces)
                break;
            pieces[count].iov_base = const_cast<char*>(piece.data.constData() + piece.offset);
            pieces[count].iov_len = static_cast<size_t>(piece.data.size() - piece.offset);
            ++count;
        }
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = static_cast<size_t>(count);
        ssize_t sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0)
            return isTransient(errno);
        qsizetype done = 0;
        while (sent > 0 && done < static_cast<qsizetype>(m_pieces.size())) {
            Piece& piece = m_pieces[static_cast<size_t>(done)];
            const qsizetype left = piece.data.size() - piece.offset;
            if (sent >= left) {
                sent -= left;
                ++done;
            } else {
                piece.offset += sent;
                sent = 0;
            }
        }
        m_pieces.erase(m_pieces.begin(), m_pieces.begin() + done);
    }
    return true;
}

void StreamClient::afterFlush()
{
    if (!m_pieces.empty())
        return setWriteInterest(true);
    if (m_state == State::Finishing)
        return finish();
    // A frame that came meanwhile waits for the socket to have room again.
    setWriteInterest(m_state == State::Streaming && m_frameWaiting);
}

void StreamClient::setWriteInterest(bool wanted)
{
    if (wanted && !m_writeNotifier.isEnabled() && m_pieces.empty())
        m_busySinceMs = m_server.nowMs();
    m_writeNotifier.setEnabled(wanted);
}

void StreamClient::finish()
{
    // Everything is with the kernel, which still delivers it after close.
    m_writeNotifier.setEnabled(false);
    ::shutdown(m_fd, SHUT_WR);
    if (m_peerDone)
        return closeQuietly();
    m_state = State::Lingering;
    m_busySinceMs = m_server.nowMs();
    m_readNotifier.setEnabled(true);
    m_server.clientLingering(this);
}
