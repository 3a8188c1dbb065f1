#pragma once

#include <QByteArray>

#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>

// The few socket calls the socket control makes, behind one narrow interface
// so that tests can make any of them fail. Every call returns a status:
// a non-negative result, or minus the errno value. Never throws.
class SocketOs {
public:
    virtual ~SocketOs() = default;

    // A non-blocking TCP listener as openTcpListener makes it (empty
    // bindAddress: every interface, IPv4 and IPv6), deferring connections
    // until they send.
    virtual int listenTcp(const QByteArray& bindAddress, uint16_t port) = 0;
    // One pending connection as a non-blocking, close-on-exec descriptor;
    // *peer gets the key its address is counted under (peerKey), 0 when unknown.
    virtual int accept(int listenFd, uint32_t* peer) = 0;
    // 0 means the peer closed its side.
    virtual ssize_t receive(int fd, char* buffer, size_t length) = 0;
    // Gathers the pieces into one send; never raises SIGPIPE. beforeClose:
    // the caller closes or shuts down the socket once everything is sent,
    // so a last part-filled segment may wait for that and carry the FIN.
    virtual ssize_t send(int fd, const iovec* pieces, int count, bool beforeClose) = 0;
    virtual int shutdownWrite(int fd) = 0;
    virtual void close(int fd) = 0;
    // Closes with a reset, so the kernel drops whatever is still queued.
    virtual void abort(int fd) = 0;
    // A descriptor that only holds its place (for a reserve kept against
    // EMFILE), released with close().
    virtual int openReserve() = 0;
};

// The real calls; one shared instance for the whole program.
SocketOs& posixSocketOs();
