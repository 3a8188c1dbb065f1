#pragma once

#include <unistd.h>

#include <utility>

// Move-only owner of a file descriptor: closed on every path out of its
// scope, exactly once. `Close` says how (plain close(2) for files and
// sockets; through the device layer for cameras, so tests can script it).
template <typename Close>
class BasicUniqueFd {
public:
    BasicUniqueFd() = default;
    explicit BasicUniqueFd(int fd, Close close = Close()) : m_fd(fd), m_close(std::move(close)) {}
    BasicUniqueFd(BasicUniqueFd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_close(std::move(other.m_close))
    {
    }
    BasicUniqueFd& operator=(BasicUniqueFd&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
            m_close = std::move(other.m_close);
        }
        return *this;
    }
    BasicUniqueFd(const BasicUniqueFd&) = delete;
    BasicUniqueFd& operator=(const BasicUniqueFd&) = delete;
    ~BasicUniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(m_fd, -1); }
    void reset()
    {
        if (m_fd >= 0)
            m_close(std::exchange(m_fd, -1));
    }

private:
    int m_fd = -1;
    Close m_close{};
};

struct PosixClose {
    void operator()(int fd) const { ::close(fd); }
};

using UniqueFd = BasicUniqueFd<PosixClose>;
