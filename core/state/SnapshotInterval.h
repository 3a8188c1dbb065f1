#pragma once

#include <cmath>
#include <cstdint>

// Interval of the snapshot timer: 1000 / rate ms, rounded halves to even
// (3 gives 333, 5 gives 200). `rate` must be at least 1. Header-only because
// the load sequence and the rate arrows both set it.
inline int snapshotInterval(int16_t rate)
{
    return static_cast<int>(std::nearbyint(1000.0 / rate));
}
