#pragma once

#include "FakeVideoDevice.h"
#include "capture/v4l2/V4l2Source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// A source on the scripted camera at /dev/video0, counting frameReady. The
// fake outlives the source, and after each test nothing may be left open
// or mapped, and the source must not have misused the device.
class V4l2CameraTest : public ::testing::Test {
protected:
    static constexpr const char* kPath = "/dev/video0";

    V4l2CameraTest() { fake.camera(); }

    void makeSource(const QString& path = QString::fromLatin1(kPath))
    {
        source = std::make_unique<V4l2Source>(path, fake.borrow());
        QObject::connect(source.get(), &VideoSource::frameReady, source.get(), [this] { ++framesReady; });
    }
    // Configures the camera for mmap streaming or for read() only.
    void useReadOnly(bool readOnly)
    {
        FakeCamera& camera = fake.camera();
        camera.capabilities = V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_READWRITE;
        camera.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | (readOnly ? V4L2_CAP_READWRITE : V4L2_CAP_STREAMING);
    }
    bool openSource()
    {
        if (!source)
            makeSource();
        return source->open();
    }
    // Queues frames together and runs the event loop until frameReady().
    bool deliver(std::initializer_list<unsigned char> seeds)
    {
        const int before = framesReady;
        std::vector<FakeFrame> frames;
        for (unsigned char seed : seeds)
            frames.push_back(fake.frame(seed));
        fake.pushAll(frames);
        return pumpUntil([&] { return framesReady > before; });
    }
    QSize cameraSize() { return fake.camera().size; }
    // Waits for the capture thread alone, the event loop not running: true
    // once condition holds, false after 5 s.
    bool captureUntil(const std::function<bool()>& condition)
    {
        for (int slice = 0; slice < 1000 && !condition(); ++slice)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return condition();
    }

    void TearDown() override
    {
        source.reset();
        EXPECT_EQ(fake.openFiles(), 0);
        EXPECT_EQ(fake.mappings(), 0);
        EXPECT_EQ(fake.badCalls, 0);
    }

    FakeVideoDevice fake;
    std::unique_ptr<V4l2Source> source;
    int framesReady = 0;
};
