#pragma once

#include "capture/v4l2/VideoDevice.h"
#include "core/io/UniqueFd.h"

#include <cstddef>
#include <utility>

// Closes a camera's descriptor through the device layer, so that the
// tests' scripted camera sees every close.
struct CloseThroughDevice {
    VideoDevice* device = nullptr;
    void operator()(int fd) const
    {
        if (device)
            device->close(fd);
    }
};

// Move-only owner of an open device file descriptor.
class DeviceFd : public BasicUniqueFd<CloseThroughDevice> {
public:
    DeviceFd() = default;
    DeviceFd(VideoDevice* device, int fd) : BasicUniqueFd(fd, CloseThroughDevice{device}) {}
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
