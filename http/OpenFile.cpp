#include "http/OpenFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::shared_ptr<OpenFile> OpenFile::open(const QByteArray& nativePath, struct stat& info)
{
    if (nativePath.isEmpty() || nativePath.contains('\0'))
        return nullptr;
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    auto file = std::make_shared<OpenFile>(fd);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return nullptr;
    return file;
}

OpenFile::~OpenFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OpenFile::readAt(off_t offset, char* data, qsizetype length) const
{
    qsizetype done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, data + done, static_cast<size_t>(length - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}
