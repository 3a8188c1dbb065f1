#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <vector>

class StreamServer;

// One connection on the stream port. It reads the request, then either
// sends one answer and closes, or streams: at most one part is in flight,
// and the next part is chosen only when the socket has room for it, so a
// slow reader gets the newest frame then instead of a queue of old ones.
// Never blocks; "server" must outlive the client.
class StreamClient : public QObject {
    Q_OBJECT
public:
    // Lingering: the answer is with the kernel and the write side shut; what
    // the peer still sends is read and dropped until it closes, since
    // closing on unread input makes the kernel reset the connection and
    // throw away the answer still on its way.
    enum class State { Request, Streaming, Finishing, Lingering, Ended };

    StreamClient(int fd, StreamServer& server, int64_t nowMs);
    ~StreamClient() override;
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    State state() const { return m_state; }
    int64_t startedMs() const { return m_startedMs; }
    // When the current part or answer began to wait for the socket (or, when
    // lingering, when that began): the server's limits count from here.
    int64_t busySinceMs() const { return m_busySinceMs; }
    bool waitingToWrite() const { return !m_pieces.empty() || m_writeNotifier.isEnabled(); }
    // False while not one byte has arrived: a silent connection.
    bool heardFrom() const { return m_heardFrom; }
    quint64 framesSent() const { return m_framesSent; }

    // Takes what has arrived already; with deferred accept that is usually
    // the whole request.
    void readNow() { onReadable(); }
    // Sends `head` and then the newest frame; parts follow as frames come.
    void startStream(const QByteArray& head);
    // Sends `head` and `body`, then closes.
    void answerAndClose(const QByteArray& head, const QByteArray& body = {});
    // A new frame exists: sent when the socket next has room for it.
    void frameReady();
    // Closes at once with a reset and tells the server.
    void end();
    // Closes without a reset: for a lingering client whose time is up.
    void closeQuietly();

private:
    void onReadable();
    void onWritable();
    void queue(const QByteArray& bytes);
    void queueNewestFrame();
    // Sends what the kernel takes; false when the connection failed.
    bool flush();
    void afterFlush();
    void setWriteInterest(bool wanted);
    void finish();

    struct Piece {
        QByteArray data;
        qsizetype offset = 0;
    };

    int m_fd;
    StreamServer& m_server;
    State m_state = State::Request;
    int64_t m_startedMs;
    int64_t m_busySinceMs;
    QByteArray m_request;
    std::vector<Piece> m_pieces;
    bool m_frameWaiting = false;
    bool m_heardFrom = false;
    bool m_peerDone = false;
    qsizetype m_discarded = 0;
    quint64 m_sentSequence = 0;
    quint64 m_framesSent = 0;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
};
