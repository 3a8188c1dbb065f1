#include "SocketFakes.h"

#include "http/OpenFile.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

int FaultySocketOs::listenTcp(const QByteArray& bindAddress, uint16_t port)
{
    ++listenCalls;
    if (refusedPorts.count(port))
        return -EADDRINUSE;
    const int fd = posixSocketOs().listenTcp(bindAddress, port);
    const int off = 0;
    if (fd >= 0 && !deferAccept)
        ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &off, sizeof off);
    return fd;
}

int FaultySocketOs::track(int fd)
{
    if (fd >= 0)
        open.insert(fd);
    return fd;
}

bool FaultySocketOs::exhausted()
{
    if (descriptorLimit <= 0 || int(open.size()) < descriptorLimit)
        return false;
    ++emfileCount;
    return true;
}

int FaultySocketOs::openReserve()
{
    if (exhausted())
        return -EMFILE;
    return track(posixSocketOs().openReserve());
}

int FaultySocketOs::accept(int listenFd, uint32_t* peer)
{
    ++acceptCalls;
    if (!acceptErrors.empty()) {
        const int error = acceptErrors.front();
        acceptErrors.pop_front();
        return -error;
    }
    if (exhausted())
        return -EMFILE;
    const int fd = track(posixSocketOs().accept(listenFd, peer));
    if (fd >= 0)
        accepted.push_back(fd);
    if (fd >= 0 && sendBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    return fd;
}

ssize_t FaultySocketOs::receive(int fd, char* buffer, size_t length)
{
    const ssize_t n = posixSocketOs().receive(fd, buffer, length);
    if (n > 0)
        receivedBytes[fd] += n;
    return n;
}

ssize_t FaultySocketOs::send(int fd, const iovec* pieces, int count, bool beforeClose)
{
    if (sendError != 0 && sendBudget <= 0)
        return -sendError;
    const ssize_t n = posixSocketOs().send(fd, pieces, count, beforeClose);
    if (n > 0)
        sendBudget -= n;
    return n;
}

int FaultySocketOs::shutdownWrite(int fd)
{
    return posixSocketOs().shutdownWrite(fd);
}

void FaultySocketOs::close(int fd)
{
    open.erase(fd);
    posixSocketOs().close(fd);
}

void FaultySocketOs::abort(int fd)
{
    aborted.push_back(fd);
    open.erase(fd);
    posixSocketOs().abort(fd);
}

RecordingSlot::RecordingSlot(QByteArray request, SocketSlot* inner)
    : m_request(std::move(request))
    , m_inner(inner)
{
}

int RecordingSlot::ReadData(QByteArray& buffer, int length)
{
    readLength = length;
    if (m_inner)
        return m_inner->ReadData(buffer, length);
    buffer = m_request.left(length);
    return static_cast<int>(buffer.size());
}

int RecordingSlot::WriteData(const QByteArray& buffer, qsizetype offset, int length)
{
    writeSizes.push_back(length);
    written += buffer.mid(offset, length);
    return m_inner ? m_inner->WriteData(buffer, offset, length) : length;
}

int RecordingSlot::WriteFile(const std::shared_ptr<OpenFile>& file, qint64 offset, int length)
{
    ++fileWrites;
    if (m_inner) {
        // Recorded as the bytes the file holds now, then queued as a range.
        QByteArray chunk(length, Qt::Uninitialized);
        if (file->readAt(offset, chunk.data(), length)) {
            writeSizes.push_back(length);
            written += chunk;
        }
        return m_inner->WriteFile(file, offset, length);
    }
    return SocketSlot::WriteFile(file, offset, length);
}

bool RecordingSlot::HasConnection() const
{
    return m_inner ? m_inner->HasConnection() : !closed;
}

void RecordingSlot::CloseSocket()
{
    closed = true;
    if (m_inner)
        m_inner->CloseSocket();
}
