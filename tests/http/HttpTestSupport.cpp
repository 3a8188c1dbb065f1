#include "HttpTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

bool pumpUntil(const std::function<bool()>& condition, int limitMs)
{
    QTimer wake; // keeps the wait short when the condition lives outside the loop
    wake.start(2);
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

WebRootDir::WebRootDir()
{
    QDir(dir.path()).mkpath(QStringLiteral("root/images"));
    write(QStringLiteral("player.html"), "<html>player</html>\n");
    write(QStringLiteral("error.htm"), "<html>error</html>\n");
}

QByteArray WebRootDir::root() const
{
    return QFile::encodeName(dir.path() + QStringLiteral("/root/"));
}

void WebRootDir::write(const QString& relative, const QByteArray& content) const
{
    QFile file(dir.path() + QStringLiteral("/root/") + relative);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray patternBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return data;
}

namespace {
bool canBind(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}
} // namespace

int16_t freePortRun(int count)
{
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> base(20000, 32000);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int first = base(random);
        bool all = true;
        for (int i = 0; i < count && all; ++i)
            all = canBind(first + i);
        if (all)
            return static_cast<int16_t>(first);
    }
    return 0;
}

PortBlocker::PortBlocker(int16_t port, bool loopbackOnly)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 4) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PortBlocker::~PortBlocker()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int16_t holdPortRun(int count, int held, std::vector<std::unique_ptr<PortBlocker>>& blockers)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        blockers.clear();
        const int16_t first = freePortRun(count);
        bool ok = first != 0;
        for (int i = 0; i < held && ok; ++i) {
            blockers.push_back(std::make_unique<PortBlocker>(int16_t(first + i), i % 2 == 0));
            ok = blockers.back()->ok();
        }
        if (ok)
            return first;
    }
    blockers.clear();
    return 0;
}

LoopbackClient::LoopbackClient(int16_t port, int receiveBuffer)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(m_fd);
        m_fd = -1;
    }
}

LoopbackClient::~LoopbackClient()
{
    close();
}

void LoopbackClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LoopbackClient::send(const QByteArray& data)
{
    qsizetype done = 0;
    const bool sent = pumpUntil([&] {
        const ssize_t n = ::send(m_fd, data.constData() + done, static_cast<size_t>(data.size() - done), MSG_NOSIGNAL);
        if (n > 0)
            done += n;
        return done == data.size() || (n < 0 && errno != EAGAIN && errno != ENOTCONN);
    });
    return sent && done == data.size();
}

bool LoopbackClient::poll()
{
    char buffer[65536];
    while (!m_closed && m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received.append(buffer, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        m_reset = n < 0;
        m_closed = true;
    }
    return m_closed;
}

void LoopbackClient::take(qsizetype limit)
{
    char buffer[4096];
    while (limit > 0 && !m_closed && m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buffer, static_cast<size_t>(std::min<qsizetype>(limit, sizeof buffer)), 0);
        if (n <= 0)
            return;
        m_received.append(buffer, n);
        limit -= n;
    }
}

QByteArray LoopbackClient::readAll()
{
    pumpUntil([this] { return poll(); });
    return m_received;
}

int FaultySocketOs::listenTcp4(uint16_t port)
{
    ++listenCalls;
    if (refusedPorts.count(port))
        return -EADDRINUSE;
    const int fd = posixSocketOs().listenTcp4(port);
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

int FaultySocketOs::accept(int listenFd)
{
    if (failNextAccept != 0) {
        const int error = failNextAccept;
        failNextAccept = 0;
        return -error;
    }
    if (exhausted())
        return -EMFILE;
    return track(posixSocketOs().accept(listenFd));
}

int FaultySocketOs::openReserve()
{
    if (exhausted())
        return -EMFILE;
    return track(posixSocketOs().openReserve());
}

ssize_t FaultySocketOs::receive(int fd, char* buffer, size_t length)
{
    return posixSocketOs().receive(fd, buffer, length);
}

ssize_t FaultySocketOs::send(int fd, const iovec* pieces, int count)
{
    return posixSocketOs().send(fd, pieces, count);
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
