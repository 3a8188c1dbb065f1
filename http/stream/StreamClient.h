#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <vector>

class StreamServer;

// One connection on the stream port. It reads the request, then either
// sends one answer and closes, or streams: at most one part is in flight,
// and a client still busy with it when newer frames come gets only the
// newest once it is done, so slow readers skip frames instead of queueing
// them. Never blocks; "server" must outlive the client.
class StreamClient : public QObject {
    Q_OBJECT
public:
    enum class State { Request, Streaming, Finishing, Ended };

    StreamClient(int fd, StreamServer& server, int64_t nowMs);
    ~StreamClient() override;
    StreamClient(const StreamClient&) = delete;
    StreamClient& operator=(const StreamClient&) = delete;

    State state() const { return m_state; }
    int64_t startedMs() const { return m_startedMs; }
    // When the bytes now queued began to wait: a reader that takes longer
    // than the server's limit over one part is dropped.
    int64_t busySinceMs() const { return m_busySinceMs; }
    bool hasOutput() const { return !m_pieces.empty(); }
    quint64 framesSent() const { return m_framesSent; }

    // Sends `head` and then the newest frame; parts follow as frames come.
    void startStream(const QByteArray& head);
    // Sends `head` and `body`, then closes.
    void answerAndClose(const QByteArray& head, const QByteArray& body = {});
    // A new frame exists: sent now if the client is idle, else once it is.
    void frameReady();
    // Closes at once and tells the server.
    void end();

private:
    void onReadable();
    void onWritable();
    void queue(const QByteArray& bytes);
    void queueNewestFrame();
    // Sends what the kernel takes; false when the connection failed.
    bool flush();
    void afterFlush();

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
    quint64 m_sentSequence = 0;
    quint64 m_framesSent = 0;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
};
