#include "core/io/FdIo.h"

#include <unistd.h>

#include <cerrno>

namespace {

// Runs `transfer(pointer, left, done)` until every byte has moved.
template <typename Pointer, typename Transfer>
bool whole(Pointer data, size_t size, Transfer transfer)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(data + done, size - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

bool readFully(int fd, void* data, size_t size)
{
    return whole(static_cast<char*>(data), size,
                 [fd](char* at, size_t left, size_t) { return ::read(fd, at, left); });
}

bool readFullyAt(int fd, void* data, size_t size, off_t offset)
{
    return whole(static_cast<char*>(data), size, [fd, offset](char* at, size_t left, size_t done) {
        return ::pread(fd, at, left, offset + off_t(done));
    });
}

bool writeFully(int fd, const void* data, size_t size)
{
    return whole(static_cast<const char*>(data), size,
                 [fd](const char* at, size_t left, size_t) { return ::write(fd, at, left); });
}
