#include "FakeVideoDevice.h"
#include "capture/v4l2/SystemSourceCatalog.h"
#include "capture/v4l2/V4l2Source.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Plugged {
    const char* node;
    const char* card;
    const char* bus;
    const char* byId = nullptr;
    const char* byPath = nullptr;
};

// Device nodes, udev links and scripted cameras in a folder of their own.
struct ScriptedDev {
    QTemporaryDir dir;
    FakeVideoDevice fake;
    std::unique_ptr<SourceCatalog> catalog =
        createSystemSourceCatalog([this] { return fake.borrow(); }, dir.path());

    QString path(const QString& name) const { return dir.filePath(name); }
    void link(const char* kind, const char* name, const char* node)
    {
        QDir().mkpath(path(QStringLiteral("v4l/") + QLatin1String(kind)));
        const QString at = path(QStringLiteral("v4l/%1/%2").arg(QLatin1String(kind), QLatin1String(name)));
        QFile::remove(at);
        ASSERT_TRUE(QFile::link(QStringLiteral("../../") + QLatin1String(node), at));
    }
    void plug(const Plugged& camera)
    {
        QFile(path(QLatin1String(camera.node))).open(QIODevice::WriteOnly);
        FakeCamera& scripted = fake.camera(path(QLatin1String(camera.node)));
        scripted.card = QLatin1String(camera.card);
        scripted.bus = QLatin1String(camera.bus);
        if (camera.byId)
            link("by-id", camera.byId, camera.node);
        if (camera.byPath)
            link("by-path", camera.byPath, camera.node);
    }
};

struct IdentityCase {
    const char* name;
    QList<Plugged> cameras;
    QString identity;  // "%D": the node folder
    const char* node;  // where it is found; nullptr: not found
};

class CameraIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(CameraIdentity, FindsTheRememberedCameraWhereItIsNow)
{
    const IdentityCase& row = GetParam();
    ScriptedDev dev;
    for (const Plugged& camera : row.cameras)
        dev.plug(camera);
    const std::optional<SourceChoice> found = dev.catalog->find(QString(row.identity).replace("%D", dev.dir.path()));
    if (!row.node) {
        EXPECT_FALSE(found) << found->node.toStdString();
        return;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->node, dev.path(QLatin1String(row.node)));
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, CameraIdentity,
    ::testing::Values(
        IdentityCase{"ByIdLinkAfterTheNodeMoved", {{"video2", "HD Webcam", "usb-1", "usb-Logi_HD_A1-video-index0"}},
                     "%D/v4l/by-id/usb-Logi_HD_A1-video-index0", "video2"},
        IdentityCase{"ByPathLink", {{"video1", "Cam", "usb-1", nullptr, "pci-0000:00:14.0-usb-0:2:1.0-video-index0"}},
                     "%D/v4l/by-path/pci-0000:00:14.0-usb-0:2:1.0-video-index0", "video1"},
        IdentityCase{"ByIdCameraNotPlugged", {{"video0", "Other", "usb-1", "usb-Other_B2-video-index0"}},
                     "%D/v4l/by-id/usb-Logi_HD_A1-video-index0", nullptr},
        IdentityCase{"CardAndBusTellOneModelApart",
                     {{"video0", "USB Cam", "usb-1"}, {"video2", "USB Cam", "usb-2"}}, "v4l2:USB Cam@usb-2", "video2"},
        IdentityCase{"TwoCamerasSwapped", {{"video0", "USB Cam", "usb-2"}, {"video2", "USB Cam", "usb-1"}},
                     "v4l2:USB Cam@usb-2", "video0"},
        IdentityCase{"MovedToAnotherPortTheOnlyOneOfItsCard", {{"video4", "HD Pro", "usb-3"}}, "v4l2:HD Pro@usb-1",
                     "video4"},
        IdentityCase{"MovedPortWithTwoOfItsCardIsNoGuess",
                     {{"video0", "USB Cam", "usb-3"}, {"video1", "USB Cam", "usb-4"}}, "v4l2:USB Cam@usb-1", nullptr},
        IdentityCase{"OldConfigurationsNode", {{"video1", "Cam", "usb-1", "usb-Cam_C3-video-index0"}}, "%D/video1",
                     "video1"},
        IdentityCase{"OldConfigurationsNodeGone", {{"video1", "Cam", "usb-1"}}, "%D/video5", nullptr}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) { return std::string(info.param.name); });

TEST(CameraIdentityChoices, RemembersTheByIdLinkElseByPathElseCardAndBus)
{
    ScriptedDev dev;
    dev.plug({"video0", "Serial Cam", "usb-1", "usb-Serial_Cam_S1-video-index0", "pci-usb-0:1-video-index0"});
    dev.plug({"video1", "Port Cam", "usb-2", nullptr, "pci-usb-0:2-video-index0"});
    dev.plug({"video2", "Bare Cam", "platform:bare-000"});
    const QList<SourceChoice> choices = dev.catalog->choices();
    ASSERT_EQ(choices.size(), 4) << "three cameras and the test pattern";
    EXPECT_EQ(choices[0].id, dev.path("v4l/by-id/usb-Serial_Cam_S1-video-index0"));
    EXPECT_EQ(choices[1].id, dev.path("v4l/by-path/pci-usb-0:2-video-index0"));
    EXPECT_EQ(choices[2], (SourceChoice{"v4l2:Bare Cam@platform:bare-000", "Bare Cam", dev.path("video2")}));
}

TEST(CameraIdentityChoices, ASourceOnTheLinkFollowsTheCameraToItsNewNodeAndSaysSoOnEachOpen)
{
    ScriptedDev dev;
    dev.plug({"video0", "HD Webcam", "usb-1", "usb-HD_A1-video-index0"});
    const QString id = dev.path("v4l/by-id/usb-HD_A1-video-index0");
    std::unique_ptr<VideoSource> source = dev.catalog->create(id);
    ASSERT_TRUE(source);
    int opened = 0;
    QObject::connect(source.get(), &VideoSource::opened, [&] { ++opened; });
    ASSERT_TRUE(source->open());
    source->close();
    // Replugged: udev points the same link at the node it got this time.
    dev.fake.camera(dev.path("video0")).present = false;
    dev.plug({"video2", "HD Webcam", "usb-1", "usb-HD_A1-video-index0"});
    ASSERT_TRUE(source->open());
    EXPECT_EQ(opened, 2);
    EXPECT_TRUE(dev.fake.streaming(dev.path("video2")));
}

} // namespace
