#pragma once

#include "FakeVideoDevice.h"
#include "capture/v4l2/V4l2Source.h"

#include <gtest/gtest.h>

#include <memory>

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
    // Queues frames and lets the event loop take them.
    bool deliver(std::initializer_list<unsigned char> seeds)
    {
        const int before = framesReady;
        for (unsigned char seed : seeds)
            fake.push(fake.frame(seed));
        return pumpUntil([&] { return framesReady > before; });
    }
    QSize cameraSize() { return fake.camera().size; }

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
