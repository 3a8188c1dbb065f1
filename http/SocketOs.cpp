#include "http/SocketOs.h"

#include "http/ListenSocket.h"
#include "http/PeerAddress.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

int failure()
{
    return -errno;
}

class PosixSocketOs final : public SocketOs {
public:
    int listenTcp(const QByteArray& bindAddress, uint16_t port) override
    {
        // Connections reach accept() with their request already there, so
        // idle sockets cost nothing until they send or the second is up.
        return openTcpListener(bindAddress, port, true);
    }

    int accept(int listenFd, uint32_t* peer) override
    {
        // The address comes with the accept, which saves a getpeername a request.
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return failure();
        *peer = peerKey(address, length);
        return fd;
    }

    ssize_t receive(int fd, char* buffer, size_t length) override
    {
        const ssize_t n = ::recv(fd, buffer, length, 0);
        return n < 0 ? failure() : n;
    }

    ssize_t send(int fd, const iovec* pieces, int count, bool beforeClose) override
    {
        msghdr message{};
        message.msg_iov = const_cast<iovec*>(pieces);
        message.msg_iovlen = static_cast<size_t>(count);
        // MSG_MORE holds back a part-filled last segment; the close that
        // follows sends it with the FIN, one segment fewer per answer.
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT | (beforeClose ? MSG_MORE : 0));
        return n < 0 ? failure() : n;
    }

    int shutdownWrite(int fd) override
    {
        return ::shutdown(fd, SHUT_WR) == 0 ? 0 : failure();
    }

    void close(int fd) override
    {
        ::close(fd);
    }

    void abort(int fd) override
    {
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }

    int openReserve() override
    {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        return fd < 0 ? failure() : fd;
    }
};

} // namespace

SocketOs& posixSocketOs()
{
    static PosixSocketOs os;
    return os;
}
