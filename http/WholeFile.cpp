#include "http/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <new>

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool readExactly(int fd, char* data, qsizetype length)
{
    qsizetype done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, data + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool readWholeFile(const QByteArray& nativePath, QByteArray& body)
{
    body.clear();
    if (nativePath.isEmpty() || nativePath.contains('\0'))
        return false;
    // O_NONBLOCK keeps a FIFO swapped in after the existence check from
    // blocking the open; the type check below then refuses it.
    const FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return false;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (info.st_size < 0 || info.st_size > std::numeric_limits<int32_t>::max())
        return false;
    try {
        QByteArray data(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
        if (!readExactly(file.get(), data.data(), data.size()))
            return false;
        body = std::move(data);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
