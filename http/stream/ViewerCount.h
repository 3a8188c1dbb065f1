#pragma once

#include <QHash>

#include <cstdint>

// Distinct client IPv4 addresses seen within a sliding window (10 s by
// default). Times are milliseconds of any steady clock the caller chooses.
class ViewerCount {
public:
    explicit ViewerCount(int64_t windowMs = 10000, int maxAddresses = 4096);

    // The address as the socket gives it; 0 (unknown) is not counted.
    void record(uint32_t address, int64_t nowMs);
    // Addresses seen in the window ending at nowMs; older ones are forgotten.
    int recent(int64_t nowMs);

private:
    void forgetOlderThan(int64_t cutoffMs);

    int64_t m_windowMs;
    int m_maxAddresses;
    QHash<uint32_t, int64_t> m_lastSeen;
};
