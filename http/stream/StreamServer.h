#pragma once

#include "http/stream/LatestFrame.h"
#include "http/stream/StreamResponse.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class StreamClient;

// The MJPEG stream on a port of its own: /stream sends every frame published
// to `frames` (the stream encoder's, else the snapshot cycle's) as one part
// of a multipart/x-mixed-replace answer, /snapshot the latest frame once,
// /health what the health provider says (404 without one); other paths get
// 404. Runs on the caller's event loop and never blocks it. "frames" must
// outlive it.
class StreamServer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // Open streams; one more gets 503. Answers still being sent count
        // too, with kExtraAnswers more places; connections that have not
        // finished their request do not count at all.
        int maxClients = 50;
        int64_t stallMs = 10000;  // longest a client may take over one part
        int64_t requestMs = 5000; // longest a request may take to arrive
        int64_t lingerMs = 2000;  // longest the peer's leftovers are read after an answer
        // Most bytes a client's socket holds unsent before it counts as full
        // (TCP_NOTSENT_LOWAT): the next part is chosen only when it has room,
        // so a slow reader has far less than a frame queued ahead of the newest.
        int unsentBytes = 4 * 1024;
        // Kernel send buffer per client (0: the kernel's own, which grows to
        // megabytes): bounds the bytes in flight to a slow reader.
        int sendBuffer = 256 * 1024;
        // Idle connections reach accept() only once they send or this many
        // seconds pass (0: at once). Applies from the next listen().
        int deferAcceptSeconds = 1;
    };
    // Connections that have not finished a request are kept apart, at most
    // this many; a new one sheds the oldest silent one (else the oldest).
    static constexpr int kMaxWaiting = 128;
    // Lingering closes kept at most; past it the oldest is closed at once.
    static constexpr int kMaxLingering = 128;
    // Answers in progress allowed beyond the open streams.
    static constexpr int kExtraAnswers = 32;

    explicit StreamServer(LatestFrame& frames, QObject* parent = nullptr);
    ~StreamServer() override;

    // Listens at bindAddress, numeric IPv4 or IPv6 text; empty: every
    // interface, IPv4 and IPv6 where the system has it (port 0: any free
    // port). Returns 0, or the errno value of the step that failed.
    int listen(uint16_t port, const QString& bindAddress = QString());
    void close();
    bool isListening() const { return m_listenFd >= 0; }
    uint16_t port() const { return m_port; }

    // The answer to /health: 200 while the picture is fresh, else 503, with
    // a small JSON body saying why.
    struct Health {
        int status = 503;
        QByteArray json;
    };
    // Asked once per /health request; empty: /health is not found.
    void setHealth(std::function<Health()> health) { m_health = std::move(health); }

    void setLimits(const Limits& limits);
    // The steady milliseconds all deadlines are measured in; tests set their
    // own clock, then let the sweep timer find what is overdue.
    void setClock(std::function<int64_t()> clock);
    const Limits& limits() const { return m_limits; }
    // Clients receiving the stream now.
    int streamClients() const { return m_streaming; }
    // Every open connection, whatever it asked for.
    int connections() const;

    // For the clients: the newest frame, its part header and number.
    QByteArray newestJpeg() const { return m_frames.jpeg(); }
    QByteArray newestPartHeader();
    quint64 newestSequence() const { return m_frames.sequence(); }
    int64_t nowMs() const;
    void requestReceived(StreamClient* client, const StreamRequest& request);
    void clientEnded(StreamClient* client);
    void clientLingering(StreamClient* client);

signals:
    void streamClientsChanged(int count);

private:
    void acceptPending();
    // Sheds one waiting connection other than `newest` when too many wait.
    void makeRoomForWaiting(const StreamClient* newest);
    void framePublished();
    void sweep();
    void removeEnded();
    void updateSweep();

    LatestFrame& m_frames;
    std::function<int64_t()> m_clock;
    std::function<Health()> m_health;
    Limits m_limits;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    std::unique_ptr<QSocketNotifier> m_listenNotifier;
    std::vector<std::unique_ptr<StreamClient>> m_clients;
    int m_streaming = 0;
    bool m_removalQueued = false;
    QByteArray m_partHeader;
    quint64 m_partHeaderSequence = 0;
    QTimer m_sweepTimer;
    QTimer m_acceptPause;
};
