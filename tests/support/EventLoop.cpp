#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

bool pumpUntil(const std::function<bool()>& condition, int limitMs)
{
    QTimer wake; // keeps the wait short when the condition lives outside the loop
    wake.start(2);
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
