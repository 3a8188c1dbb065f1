#include "capture/SnapshotTimer.h"

#include "core/state/SnapshotInterval.h"

#include <QTimer>

void setSnapshotTimer(QTimer& time, int16_t rate)
{
    const int interval = snapshotInterval(rate);
    time.setInterval(interval);
    if (interval > 0)
        time.start();
    else
        time.stop();
}
