#pragma once

#include "capture/v4l2/VideoDevice.h"

#include <cstddef>
#include <utility>

// Move-only owner of an open device file descriptor: closed through the
// device layer when the owner goes, on every path.
class DeviceFd {
public:
    DeviceFd() = default;
    DeviceFd(VideoDevice* device, int fd) : m_device(device), m_fd(fd) {}
    DeviceFd(DeviceFd&& other) noexcept { *this = std::move(other); }
    DeviceFd& operator=(DeviceFd&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_device = std::exchange(other.m_device, nullptr);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    DeviceFd(const DeviceFd&) = delete;
    DeviceFd& operator=(const DeviceFd&) = delete;
    ~DeviceFd() { reset(); }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    void reset()
    {
        if (m_device && m_fd >= 0)
            m_device->close(m_fd);
        m_fd = -1;
    }

private:
    VideoDevice* m_device = nullptr;
    int m_fd = -1;
};

// Move-only owner of one mmap'd driver buffer.
class MappedBuffer {
public:
    MappedBuffer() = default;
    MappedBuffer(VideoDevice* device, void* address, size_t length)
        : m_device(device), m_address(address), m_length(length)
    {
    }
    MappedBuffer(MappedBuffer&& other) noexcept { *this = std::move(other); }
    MappedBuffer& operator=(MappedBuffer&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_device = std::exchange(other.m_device, nullptr);
            m_address = std::exchange(other.m_address, nullptr);
            m_length = std::exchange(other.m_length, 0);
        }
        return *this;
    }
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    ~MappedBuffer() { reset(); }

    const unsigned char* data() const { return static_cast<const unsigned char*>(m_address); }
    size_t length() const { return m_length; }
    void reset()
    {
        if (m_device && m_address)
            m_device->munmap(m_address, m_length);
        m_address = nullptr;
        m_length = 0;
    }

private:
    VideoDevice* m_device = nullptr;
    void* m_address = nullptr;
    size_t m_length = 0;
};
