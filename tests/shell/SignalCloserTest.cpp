#include "shell/SignalCloser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// The handler only queues the signal; the Qt signal comes from the event
// loop, after which the process is still alive to close properly.
TEST(SignalCloser, EachCloseSignalArrivesThroughTheEventLoop)
{
    SignalCloser closer;
    ASSERT_TRUE(closer.isActive());
    QList<int> received;
    QObject::connect(&closer, &SignalCloser::closeRequested, [&](int number) { received << number; });

    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        received.clear();
        ASSERT_EQ(std::raise(number), 0);
        EXPECT_TRUE(received.isEmpty()) << "nothing runs inside the handler";
        QElapsedTimer timer;
        timer.start();
        while (received.isEmpty() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(received, QList<int>{number});
    }

    // Read in one batch, a close is not lost behind a later SIGHUP (which
    // only reloads without a window).
    received.clear();
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_EQ(std::raise(SIGHUP), 0);
    QElapsedTimer timer;
    timer.start();
    while (received.isEmpty() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(received, QList<int>{SIGTERM});
}

} // namespace
