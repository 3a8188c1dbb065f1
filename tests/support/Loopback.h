#pragma once

#include <QByteArray>

#include <cstdint>

// A non-blocking client on 127.0.0.1 (or the loopback address given, IPv4
// or IPv6); reads whatever arrives while the test pumps the event loop.
class LoopbackClient {
public:
    explicit LoopbackClient(int16_t port, int receiveBuffer = 0);
    LoopbackClient(const char* address, int16_t port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;
    bool connected() const { return m_fd >= 0; }
    bool send(const QByteArray& data);
    // Takes what is waiting; true once the server closed (end or reset).
    bool poll();
    // Takes at most limit more bytes of what is waiting, like a slow reader.
    void take(qsizetype limit);
    bool closed() const { return m_closed; }
    bool wasReset() const { return m_reset; }
    const QByteArray& received() const { return m_received; }
    // Pumps until the server closes; returns everything received.
    QByteArray readAll();
    void close();

private:
    int m_fd = -1;
    bool m_closed = false;
    bool m_reset = false;
    QByteArray m_received;
};
