#include "capture/v4l2/V4l2Device.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <libv4l2.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>

int V4l2Device::open(const QString& path)
{
    const int fd = v4l2_open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? -errno : fd;
}

int V4l2Device::close(int fd)
{
    return v4l2_close(fd) < 0 ? -errno : 0;
}

int V4l2Device::ioctl(int fd, unsigned long request, void* arg)
{
    int result;
    do {
        result = v4l2_ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : result;
}

int V4l2Device::mmap(int fd, size_t length, qint64 offset, void** address)
{
    void* mapped = v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    if (mapped == MAP_FAILED)
        return -errno;
    *address = mapped;
    return 0;
}

int V4l2Device::munmap(void* address, size_t length)
{
    return v4l2_munmap(address, length) < 0 ? -errno : 0;
}

qint64 V4l2Device::read(int fd, void* buffer, size_t size)
{
    ssize_t result;
    do {
        result = v4l2_read(fd, buffer, size);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : result;
}

int V4l2Device::waitReadable(int fd, int timeoutMs, int wakeFd)
{
    pollfd entries[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int result;
    do {
        result = ::poll(entries, wakeFd >= 0 ? 2 : 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return -errno;
    if (entries[0].revents & POLLIN)
        return 1;
    // A capture device that was unplugged reports POLLERR/POLLHUP for good.
    if (entries[0].revents & (POLLERR | POLLHUP | POLLNVAL))
        return -EIO;
    return 0;
}

bool V4l2Device::exists(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

qint64 V4l2Device::nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
