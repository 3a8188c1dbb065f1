#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>

// The few operating-system calls a camera needs, behind one narrow interface
// so that the tests can put a scripted camera in its place. Every call returns
// a status: a negative errno on failure, never a thrown exception.
class VideoDevice {
public:
    virtual ~VideoDevice() = default;

    // Opens the device read/write and non-blocking: a file descriptor, or -errno.
    virtual int open(const QString& path) = 0;
    virtual int close(int fd) = 0;
    // A V4L2 ioctl: 0 (or the driver's non-negative result), or -errno.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // Maps a driver buffer read/write, shared. 0 and *address set, or -errno.
    virtual int mmap(int fd, size_t length, qint64 offset, void** address) = 0;
    virtual int munmap(void* address, size_t length) = 0;
    // Bytes read (0 when nothing came), or -errno (-EAGAIN: no frame yet).
    virtual qint64 read(int fd, void* buffer, size_t size) = 0;
    // Waits up to timeoutMs (-1: no limit) for a frame, or until wakeFd (an
    // eventfd; -1 for none) becomes readable: 1 ready, 0 timed out or woken,
    // -errno when the device reports an error (gone, broken).
    virtual int waitReadable(int fd, int timeoutMs, int wakeFd) = 0;
    // A cheap test that a device node is present at the path (no open).
    virtual bool exists(const QString& path) = 0;
    // Monotonic milliseconds, for the age of frames and bounded waits.
    virtual qint64 nowMs() = 0;
};
