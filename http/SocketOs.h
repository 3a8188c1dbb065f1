#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>

// The few socket calls the socket control makes, behind one narrow interface
// so that tests can make any of them fail. Every call returns a status:
// a non-negative result, or minus the errno value. Never throws.
class SocketOs {
public:
    virtual ~SocketOs() = default;

    // A non-blocking IPv4 TCP listener on every interface, SO_REUSEADDR set.
    virtual int listenTcp4(uint16_t port) = 0;
    // One pending connection as a non-blocking, close-on-exec descriptor;
    // *peerIpv4 gets the peer's address (network order), 0 when unknown.
    virtual int accept(int listenFd, uint32_t* peerIpv4) = 0;
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
