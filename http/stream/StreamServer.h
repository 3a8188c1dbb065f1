#pragma once

#include "http/stream/LatestFrame.h"
#include "http/stream/StreamResponse.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class StreamClient;

// The MJPEG stream on a port of its own: /stream sends every frame the
// snapshot cycle publishes as one part of a multipart/x-mixed-replace
// answer, /snapshot the latest frame once; other paths get 404. Runs on the
// caller's event loop and never blocks it. "frames" must outlive it.
class StreamServer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int maxClients = 50;     // open streams; one more gets 503
        int64_t stallMs = 10000; // longest a client may take over one part
        int64_t requestMs = 10000; // longest a request may take to arrive
        // Kernel send buffer per client (0: the kernel's own, which grows to
        // megabytes): what a slow reader can have queued beyond its one part.
        int sendBuffer = 256 * 1024;
    };

    explicit StreamServer(LatestFrame& frames, QObject* parent = nullptr);
    ~StreamServer() override;

    // Listens at bindAddress, numeric IPv4 or IPv6 text; empty: every
    // interface, IPv4 and IPv6 where the system has it (port 0: any free
    // port). Returns 0, or the errno value of the step that failed.
    int listen(uint16_t port, const QString& bindAddress = QString());
    void close();
    bool isListening() const { return m_listenFd >= 0; }
    uint16_t port() const { return m_port; }

    void setLimits(const Limits& limits);
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

signals:
    void streamClientsChanged(int count);

private:
    void acceptPending();
    void framePublished();
    void sweep();
    void removeEnded();
    void updateSweep();

    LatestFrame& m_frames;
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
