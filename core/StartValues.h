#pragma once

#include "core/state/SnapshotInterval.h"

#include <cstdint>

// The automatic port: 8000 + the number formed by the first three characters
// of the clock value (seconds since midnight, single precision) written in its
// shortest form, rounded. 49510 s gives 8495, 100 s gives 8100, 5.25 s gives 8005.
int16_t clockPort(float secondsSinceMidnight);

// Seconds since midnight of the local clock, as a single-precision number.
float secondsSinceMidnight();

// Fallbacks for the values a missing or damaged Settings.ini leaves at 0:
// a quality below 1 becomes 75, a rate below 1 becomes 2.
int16_t usableQuality(int16_t quality);
int16_t usableRate(int16_t rate);
