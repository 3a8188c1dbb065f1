#pragma once

#include "http/SocketOs.h"
#include "http/SocketSlot.h"

#include <QByteArray>

#include <deque>
#include <map>
#include <set>
#include <vector>

// The real calls, with failures to order and a record of what happened.
class FaultySocketOs : public SocketOs {
public:
    std::set<uint16_t> refusedPorts;  // listenTcp fails with EADDRINUSE
    std::deque<int> acceptErrors;     // errno values the next accepts return, one each
    int sendError = 0;                // errno for every send once sendBudget is spent
    long long sendBudget = 0;         // bytes sends may still take before failing
    int listenCalls = 0;
    int acceptCalls = 0;
    std::vector<int> accepted, aborted;
    std::map<int, long long> receivedBytes;
    // With a limit above 0, accept and openReserve fail with EMFILE while
    // this many descriptors made here are open, as under RLIMIT_NOFILE.
    int descriptorLimit = 0;
    // Off: silent connections reach accept() at once, as without the deferral.
    bool deferAccept = true;
    // Above 0: the send buffer of accepted connections, fixed (the kernel
    // otherwise grows it to megabytes on loopback).
    int sendBuffer = 0;
    int emfileCount = 0;
    std::set<int> open;

    int listenTcp(const QByteArray& bindAddress, uint16_t port) override;
    int accept(int listenFd, uint32_t* peer) override;
    ssize_t receive(int fd, char* buffer, size_t length) override;
    ssize_t send(int fd, const iovec* pieces, int count, bool beforeClose) override;
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
