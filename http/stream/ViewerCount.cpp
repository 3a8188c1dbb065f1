#include "http/stream/ViewerCount.h"

ViewerCount::ViewerCount(int64_t windowMs, int maxAddresses)
    : m_windowMs(windowMs)
    , m_maxAddresses(maxAddresses)
{
}

void ViewerCount::record(uint32_t address, int64_t nowMs)
{
    if (address == 0)
        return;
    auto it = m_lastSeen.find(address);
    if (it != m_lastSeen.end()) {
        *it = nowMs;
        return;
    }
    // A flood of addresses must not grow the table without bound: past the
    // cap the count is a floor, which is all a status line needs.
    if (m_lastSeen.size() >= m_maxAddresses)
        forgetOlderThan(nowMs - m_windowMs);
    if (m_lastSeen.size() < m_maxAddresses)
        m_lastSeen.insert(address, nowMs);
}

int ViewerCount::recent(int64_t nowMs)
{
    forgetOlderThan(nowMs - m_windowMs);
    return static_cast<int>(m_lastSeen.size());
}

void ViewerCount::forgetOlderThan(int64_t cutoffMs)
{
    for (auto it = m_lastSeen.begin(); it != m_lastSeen.end();) {
        if (it.value() <= cutoffMs)
            it = m_lastSeen.erase(it);
        else
            ++it;
    }
}
