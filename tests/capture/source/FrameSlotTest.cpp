#include "capture/source/FrameSlot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

Frame frameWith(char marker)
{
    Frame frame;
    frame.bytes = QByteArray(1, marker);
    return frame;
}

} // namespace

TEST(FrameSlotTest, SlowReaderGetsTheNewestFrame)
{
    FrameSlot slot;
    EXPECT_EQ(slot.latest(), nullptr);
    EXPECT_EQ(slot.waitNewer(0, 1ms), nullptr);
    slot.publish(frameWith('a'));
    const auto held = slot.latest();
    for (char marker = 'b'; marker <= 'e'; ++marker)
        slot.publish(frameWith(marker));
    // The reader was busy for four frames: it skips to the newest, and the
    // frame it still holds is unchanged.
    const auto next = slot.waitNewer(held->sequence, 1ms);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->bytes, QByteArray("e"));
    EXPECT_EQ(next->sequence, 5u);
    EXPECT_EQ(held->bytes, QByteArray("a"));
    EXPECT_EQ(slot.waitNewer(next->sequence, 1ms), nullptr);
}

TEST(FrameSlotTest, WaitingReaderWakesForANewFrameOrAClear)
{
    FrameSlot slot;
    std::shared_ptr<const Frame> got;
    std::thread reader([&] { got = slot.waitNewer(0, 10s); });
    slot.publish(frameWith('x'));
    reader.join();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->bytes, QByteArray("x"));

    std::atomic<bool> woke = false;
    std::thread waiter([&] {
        EXPECT_EQ(slot.waitNewer(1, 10s), nullptr);
        woke = true;
    });
    // The waiter may not be waiting yet: clearing must reach it either way,
    // so clear until it is out (bounded by the join).
    while (!woke) {
        slot.clear();
        std::this_thread::yield();
    }
    waiter.join();
    EXPECT_EQ(slot.latest(), nullptr);
}
