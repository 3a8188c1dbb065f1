#include "SocketFakes.h"

#include <cerrno>

int FaultySocketOs::listenTcp4(uint16_t port)
{
    ++listenCalls;
    if (refusedPorts.count(port))
        return -EADDRINUSE;
    return posixSocketOs().listenTcp4(port);
}

int FaultySocketOs::accept(int listenFd)
{
    ++acceptCalls;
    if (!acceptErrors.empty()) {
        const int error = acceptErrors.front();
        acceptErrors.pop_front();
        return -error;
    }
    const int fd = posixSocketOs().accept(listenFd);
    if (fd >= 0)
        accepted.push_back(fd);
    return fd;
}

ssize_t FaultySocketOs::receive(int fd, char* buffer, size_t length)
{
    const ssize_t n = posixSocketOs().receive(fd, buffer, length);
    if (n > 0)
        receivedBytes[fd] += n;
    return n;
}

ssize_t FaultySocketOs::send(int fd, const iovec* pieces, int count)
{
    if (sendError != 0 && sendBudget <= 0)
        return -sendError;
    const ssize_t n = posixSocketOs().send(fd, pieces, count);
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
    posixSocketOs().close(fd);
}

void FaultySocketOs::abort(int fd)
{
    aborted.push_back(fd);
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
