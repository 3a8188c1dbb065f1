// vivid's error injections, and the recovery each one calls for.

#include "VividSupport.h"

#include <QTimer>

namespace {

const QString kGone = QStringLiteral("Video device gone");

class VividRecoveryTest : public VividTest {
protected:
    void SetUp() override
    {
        VividTest::SetUp();
        ASSERT_TRUE(openAt(QSize(640, 480)));
    }
    // Waits for the source to close itself and checks what a still says then.
    void expectGone()
    {
        ASSERT_TRUE(waitFor([&] { return !source->isOpen(); }, 5000));
        QString error;
        EXPECT_TRUE(source->grabStill(&error).isNull());
        EXPECT_EQ(error, kGone);
    }
    void expectReopenedAndStreaming()
    {
        hurryRetries();
        ASSERT_TRUE(waitFor([&] { return source->isOpen(); }, 10000));
        ASSERT_TRUE(moreFrames(3));
        QString error;
        EXPECT_FALSE(source->grabStill(&error).isNull()) << error.toStdString();
        EXPECT_EQ(wrongBars(source->latestFrame(), 4), QString());
    }
};

TEST_F(VividRecoveryTest, BufferErrorDropsOneFrameAndTheStreamGoesOn)
{
    ASSERT_TRUE(pressVividButton(VividButton::BufferError));
    ASSERT_TRUE(waitFor([&] { return source->droppedFrames() == 1; }, 5000));
    ASSERT_TRUE(moreFrames(5));
    EXPECT_TRUE(source->isOpen());
    EXPECT_EQ(source->droppedFrames(), 1);
    logLine(QStringLiteral("buffer error: %1 frame dropped, stream went on").arg(source->droppedFrames()));
}

TEST_F(VividRecoveryTest, RefusedQbufKeepsTheStreamGoing)
{
    ASSERT_TRUE(pressVividButton(VividButton::QbufError));
    ASSERT_TRUE(waitFor([&] { return source->refusedBuffers() >= 1; }, 5000));
    ASSERT_TRUE(moreFrames(10));
    EXPECT_TRUE(source->isOpen());
    EXPECT_TRUE(source->usesMmap());
    logLine(QStringLiteral("QBUF error: %1 buffer refused and given back later, stream went on")
                .arg(source->refusedBuffers()));
}

// A failed start of mmap streaming: read() stands in, mmap comes back.
class VividStartFailureTest : public VividRecoveryTest, public ::testing::WithParamInterface<VividButton> {};

TEST_P(VividStartFailureTest, ReadStandsInAndMmapIsTriedAgain)
{
    // libv4l2 reports the refused start itself, once; that line is the
    // driver's real failure, not noise.
    if (GetParam() == VividButton::StreamonError)
        allowLibv4l2Line(QStringLiteral("libv4l2: error turning on stream: Invalid argument"));
    ASSERT_TRUE(pressVividButton(GetParam()));
    // A new size makes the source start its stream again.
    ASSERT_TRUE(openAt(QSize(640, 360)));
    const bool fellBack = !source->usesMmap();
    EXPECT_TRUE(fellBack);
    EXPECT_EQ(wrongBars(source->latestFrame(), 4), QString());
    hurryRetries();
    ASSERT_TRUE(waitFor([&] { return source->usesMmap(); }, 10000));
    ASSERT_TRUE(moreFrames(3));
    logLine(QStringLiteral("%1 error: %2, then mmap again")
                .arg(GetParam() == VividButton::StreamonError ? "STREAMON" : "REQBUFS")
                .arg(fellBack ? "read() stood in" : "no fallback seen"));
}

INSTANTIATE_TEST_SUITE_P(Injections, VividStartFailureTest,
                         ::testing::Values(VividButton::StreamonError, VividButton::ReqbufsError),
                         [](const auto& info) {
                             return info.param == VividButton::StreamonError ? "Streamon" : "Reqbufs";
                         });

TEST_F(VividRecoveryTest, FatalStreamingErrorIsGoneAndReopened)
{
    ASSERT_TRUE(pressVividButton(VividButton::FatalStreamingError));
    expectGone();
    expectReopenedAndStreaming();
    logLine(QStringLiteral("fatal streaming error: \"%1\", reopened").arg(kGone));
}

TEST_F(VividRecoveryTest, DisconnectIsGoneAndReopened)
{
    ASSERT_TRUE(pressVividButton(VividButton::Disconnect));
    expectGone();
    expectReopenedAndStreaming();
    logLine(QStringLiteral("disconnect: \"%1\", reopened").arg(kGone));
}

TEST_F(VividRecoveryTest, RemovedNodeAndReloadedModuleAreReopened)
{
    ASSERT_NO_FATAL_FAILURE(unplugVivid());
    expectGone();
    // While the node is absent the source only looks for it.
    hurryRetries();
    waitFor([] { return false; }, 1000);
    EXPECT_FALSE(source->isOpen());

    ASSERT_TRUE(reloadVivid()) << "the virtual machine gives TALVEX_VIVID_LOAD and TALVEX_VIVID_UNLOAD";
    expectReopenedAndStreaming();
    logLine(QStringLiteral("node removed, module unloaded and loaded again: \"%1\" while away, reopened").arg(kGone));
}

} // namespace
