#pragma once

#include "http/SocketOs.h"
#include "http/SocketSlot.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

// Runs the event loop until condition holds; false if it never did within
// the bound (a failure guard, not a timing assumption).
bool pumpUntil(const std::function<bool()>& condition, int limitMs = 10000);

// A directory with root/ holding player.html, error.htm and images/.
struct WebRootDir {
    WebRootDir();
    QString tempPath() const { return dir.path(); }
    QByteArray root() const; // native, ending in "/"
    void write(const QString& relative, const QByteArray& content) const;
    QTemporaryDir dir;
};

QByteArray patternBytes(qsizetype size);

// A run of `count` ports from `first` on that can be bound now, all within
// the 16-bit signed range the port fields hold.
int16_t freePortRun(int count);

// Holds a port with a listening socket of its own.
class PortBlocker {
public:
    PortBlocker(int16_t port, bool loopbackOnly);
    ~PortBlocker();
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A free run of `count` ports whose first `held` ports are occupied by
// blockers, alternately on 127.0.0.1 and on every interface. Picks again
// when another process takes a port in between; 0 if it never succeeds.
int16_t holdPortRun(int count, int held, std::vector<std::unique_ptr<PortBlocker>>& blockers);

// A non-blocking loopback client; reads whatever arrives while the test
// pumps the event loop.
class LoopbackClient {
public:
    explicit LoopbackClient(int16_t port, int receiveBuffer = 0);
    ~LoopbackClient();
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

// The real calls, with failures to order.
class FaultySocketOs : public SocketOs {
public:
    std::set<uint16_t> refusedPorts;   // listenTcp4 fails with EADDRINUSE
    int failNextAccept = 0;            // errno for the next accept, once
    int listenCalls = 0;
    // With a limit above 0, accept and openReserve fail with EMFILE while
    // this many descriptors made here are open, as under RLIMIT_NOFILE.
    int descriptorLimit = 0;
    // Off: silent connections reach accept() at once, as without the deferral.
    bool deferAccept = true;
    int emfileCount = 0;
    std::set<int> open;

    int listenTcp4(uint16_t port) override;
    int accept(int listenFd) override;
    ssize_t receive(int fd, char* buffer, size_t length) override;
    ssize_t send(int fd, const iovec* pieces, int count) override;
    int shutdownWrite(int fd) override;
    void close(int fd) override;
    void abort(int fd) override;
    int openReserve() override;

private:
    int track(int fd);
    bool exhausted();
};

// Plays a request and records every write; forwards to an inner slot when given.
class RecordingSlot : public SocketSlot {
public:
    explicit RecordingSlot(QByteArray request = {}, SocketSlot* inner = nullptr);
    int ReadData(QByteArray& buffer, int length) override;
    using SocketSlot::WriteData;
    int WriteData(const QByteArray& buffer, qsizetype offset, int length) override;
    int WriteFile(const std::shared_ptr<OpenFile>& file, qint64 offset, int length) override;
    bool HasConnection() const override;
    void CloseSocket() override;

    std::vector<int> writeSizes;
    QByteArray written;
    int readLength = 0;
    bool closed = false;
    int fileWrites = 0;

private:
    QByteArray m_request;
    SocketSlot* m_inner;
};
