#include "FakeVideoDeviceFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(V4l2DeviceList, ListsVideoNodesByNumberWithTheirCards)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"video10", "video2", "video0", "video1", "video3", "videoX", "media0", "video-1"}) {
        QFile node(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    }
    FakeVideoDevice fake;
    // A card name that fills the whole field, with no terminating NUL.
    fake.camera(dir.filePath("video0")).card = QStringLiteral("Thirty-Two Character Camera Name");
    // A uvc metadata node: the card says capture, this node does not.
    FakeCamera& metadata = fake.camera(dir.filePath("video1"));
    metadata.card = QStringLiteral("USB Camera");
    metadata.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    // An old driver that reports no per-node capabilities.
    FakeCamera& old = fake.camera(dir.filePath("video2"));
    old.card = QStringLiteral("Old Grabber  ");
    old.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    old.deviceCaps = 0;
    fake.camera(dir.filePath("video10")).openError = -EACCES;
    // video3 has no device behind it at all.

    const QList<VideoDeviceInfo> devices = findVideoDevices(fake, dir.path());
    ASSERT_EQ(devices.size(), 5);
    const QStringList expectedNames{"video0", "video1", "video2", "video3", "video10"};
    for (int i = 0; i < devices.size(); ++i)
        EXPECT_EQ(devices[i].path, dir.filePath(expectedNames[i]));
    EXPECT_EQ(devices[0].cardName, QStringLiteral("Thirty-Two Character Camera Name"));
    EXPECT_TRUE(devices[0].canCapture);
    EXPECT_EQ(devices[1].cardName, QStringLiteral("USB Camera"));
    EXPECT_FALSE(devices[1].canCapture);
    EXPECT_EQ(devices[2].cardName, QStringLiteral("Old Grabber"));
    EXPECT_TRUE(devices[2].canCapture);
    EXPECT_FALSE(devices[3].canCapture);
    EXPECT_TRUE(devices[3].cardName.isEmpty());
    EXPECT_FALSE(devices[4].canCapture);
    EXPECT_EQ(fake.openFiles(), 0);
}

TEST(V4l2DeviceList, MissingDirectoryGivesNoDevices)
{
    FakeVideoDevice fake;
    EXPECT_TRUE(findVideoDevices(fake, QStringLiteral("/nonexistent/talvex-test")).isEmpty());
}

TEST_F(V4l2CameraTest, NamesTheSourceByCardAndPath)
{
    fake.camera().card = QStringLiteral("Integrated Webcam");
    makeSource();
    EXPECT_EQ(source->id(), QStringLiteral("/dev/video0"));
    EXPECT_EQ(source->displayName(), QStringLiteral("Integrated Webcam (/dev/video0)"));
    EXPECT_FALSE(source->isOpen());
    EXPECT_EQ(fake.openFiles(), 0);

    V4l2Source absent(QStringLiteral("/dev/video7"), fake.borrow());
    EXPECT_EQ(absent.displayName(), QStringLiteral("/dev/video7"));
}

} // namespace
