#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A run of `count` ports that can be bound now, all within the 16-bit signed
// range the port fields hold; 0 if none was found.
int16_t freePortRun(int count);
inline int16_t freePort() { return freePortRun(1); }

// Holds a port with a listening socket of its own.
class PortBlocker {
public:
    PortBlocker(int16_t port, bool loopbackOnly);
    ~PortBlocker();
    PortBlocker(const PortBlocker&) = delete;
    PortBlocker& operator=(const PortBlocker&) = delete;
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A free run of `count` ports whose first `held` ports are occupied by
// blockers, alternately on 127.0.0.1 and on every interface. Picks again
// when another process takes a port in between; 0 if it never succeeds.
int16_t holdPortRun(int count, int held, std::vector<std::unique_ptr<PortBlocker>>& blockers);
