#pragma once

#include "capture/v4l2/VideoDevice.h"

// The real device layer: libv4l2, which converts YUYV, MJPEG and the other
// common camera formats to BGR24 for us, and poll(2) for the waits.
class V4l2Device final : public VideoDevice {
public:
    int open(const QString& path) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int mmap(int fd, size_t length, qint64 offset, void** address) override;
    int munmap(void* address, size_t length) override;
    qint64 read(int fd, void* buffer, size_t size) override;
    int waitReadable(int fd, int timeoutMs, int wakeFd) override;
    bool exists(const QString& path) override;
    qint64 nowMs() override;
};
