#include "capture/source/TestPatternSource.h"

#include "core/state/UserConfig.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

class TestPatternSizes : public ::testing::TestWithParam<QSize> {};

TEST_P(TestPatternSizes, FramesHaveTheChosenSizeAndMove)
{
    TestPatternSource source;
    ASSERT_TRUE(source.setFrameSize(GetParam()));
    EXPECT_EQ(source.frameSize(), GetParam());

    QString error = QStringLiteral("stale");
    const QImage first = source.grabStill(&error);
    const QImage second = source.grabStill(&error);
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(first.size(), GetParam());
    ASSERT_EQ(second.size(), GetParam());
    EXPECT_NE(first, second) << "the box must move from one frame to the next";
    EXPECT_EQ(source.latestFrame(), second);
    // The same frame is there for other threads, shared rather than copied.
    const auto published = source.frameSlot()->latest();
    ASSERT_NE(published, nullptr);
    EXPECT_EQ(published->picture.cacheKey(), second.cacheKey());
    EXPECT_EQ(published->sequence, 2u);
    EXPECT_FALSE(source.setFrameSize(QSize(800, 600)));
    EXPECT_EQ(source.frameSize(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(AllSizes, TestPatternSizes,
                         ::testing::Values(QSize(320, 240), QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)));

TEST(TestPatternSource, StillsNeedNoOpenSourceAndLiveFramesStopOnClose)
{
    TestPatternSource source;
    EXPECT_FALSE(source.isOpen());
    EXPECT_FALSE(source.grabStill(nullptr).isNull());

    int frames = 0;
    QObject::connect(&source, &VideoSource::frameReady, [&] { ++frames; });
    ASSERT_TRUE(source.open());
    ASSERT_TRUE(source.open()) << "opening twice is harmless";
    EXPECT_FALSE(source.latestFrame().isNull()) << "a frame is at hand as soon as it opens";
    ASSERT_TRUE(pumpUntil([&] { return frames >= 2; }));

    source.close();
    source.close();
    EXPECT_FALSE(source.isOpen());
    const int atClose = frames;
    QCoreApplication::processEvents();
    EXPECT_EQ(frames, atClose);
}

TEST(TestPatternSource, RateCanBeSetUpToThirtyFramesASecond)
{
    TestPatternSource source;
    EXPECT_DOUBLE_EQ(source.frameRate(), 12.5);
    source.setFrameRate(30);
    EXPECT_NEAR(source.frameRate(), 30, 0.5);
    source.setFrameRate(500);
    EXPECT_NEAR(source.frameRate(), 30, 0.5);
    source.setFrameRate(0);
    EXPECT_DOUBLE_EQ(source.frameRate(), 1);
}

TEST(TestPatternSource, DrawsOnItsOwnThreadAndAnnouncesOnceForManyFrames)
{
    TestPatternSource source;
    source.setFrameRate(30);
    int frames = 0;
    QObject::connect(&source, &VideoSource::frameReady, [&] { ++frames; });
    ASSERT_TRUE(source.open());
    // Frames keep coming while the event loop does not run.
    const quint64 atOpen = source.frameSlot()->sequence();
    for (int slice = 0; slice < 1000 && source.frameSlot()->sequence() < atOpen + 2; ++slice)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(source.frameSlot()->sequence(), atOpen + 2);
    EXPECT_EQ(frames, 0);
    ASSERT_TRUE(pumpUntil([&] { return frames > 0; }));
    EXPECT_EQ(frames, 1);
    // A still takes the newest frame (or the one after, should it come
    // meanwhile) rather than drawing; the next still shows the box moved on.
    const auto before = source.frameSlot()->latest();
    const QImage first = source.grabStill(nullptr);
    const auto after = source.frameSlot()->latest();
    EXPECT_TRUE(first.cacheKey() == before->picture.cacheKey() || first.cacheKey() == after->picture.cacheKey());
    EXPECT_NE(source.grabStill(nullptr), first);
}

// The rate a new pattern starts at, from the user's configuration.
struct ConfiguredRateCase {
    const char* value;  // nullptr: no such entry
    double rate;
};

class TestPatternConfiguredRate : public ::testing::TestWithParam<ConfiguredRateCase> {};

TEST_P(TestPatternConfiguredRate, IsReadAndClamped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = userConfigFile();
    userConfigFile() = dir.filePath(QStringLiteral("Talvex.conf"));
    if (GetParam().value)
        userConfig().setValue(QStringLiteral("Capture/TestPatternFps"), QString::fromLatin1(GetParam().value));
    TestPatternSource source;
    userConfigFile() = previous;
    EXPECT_NEAR(source.frameRate(), GetParam().rate, 0.35);
}

INSTANTIATE_TEST_SUITE_P(Values, TestPatternConfiguredRate,
                         ::testing::Values(ConfiguredRateCase{nullptr, 12.5}, ConfiguredRateCase{"25", 25},
                                           ConfiguredRateCase{"30", 30}, ConfiguredRateCase{"120", 30},
                                           ConfiguredRateCase{"0", 1}, ConfiguredRateCase{"fast", 12.5}));

} // namespace
