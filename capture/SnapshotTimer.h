#pragma once

#include <cstdint>

class QTimer;

// Gives the snapshot timer `time` the interval for `rate`: 1000 / rate ms,
// rounded halves to even (`rate` at least 1). A non-zero interval starts it
// afresh; an interval of 0 (a rate of 2000 or more) leaves it stopped, as a
// Qt timer of 0 ms would fire on every pass of the event loop.
void setSnapshotTimer(QTimer& time, int16_t rate);
