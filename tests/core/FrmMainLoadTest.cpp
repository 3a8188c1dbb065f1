#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "shell/chrome/PictureBox.h"

#include <QImage>
#include <QLabel>
#include <QTimer>

namespace {

using LoadSequence = MainWindowFixture;

TEST_F(LoadSequence, AFreshWindowHasNoServerState)
{
    frmMain::Environment env;
    env.tempPath = web.tempPath();
    env.catalog = std::make_unique<TestPatternCatalog>();
    frmMain fresh(std::move(env));
    EXPECT_TRUE(fresh.state().My_IP.isEmpty());
    EXPECT_EQ(fresh.state().lastSlot, 0);
    EXPECT_EQ(fresh.state().maxSlots, 0);
    EXPECT_FALSE(fresh.time->isActive());  // no interval before the load
}

TEST_F(LoadSequence, MissingSettingsStartAtUsableValues)
{
    frmMain& w = load();  // no Settings.ini at all
    EXPECT_EQ(w.state().quality, 75);
    EXPECT_EQ(w.state().rate, 2);
    EXPECT_EQ(w.time->interval(), 500);
    EXPECT_TRUE(w.time->isActive());
    EXPECT_EQ(w.lblQuality->text(), "Video Quality 75%");
    EXPECT_EQ(w.lblRate->text(), "Frames Rate 2/s");
    EXPECT_TRUE(w.timeTb->isActive());
    EXPECT_FALSE(w.picTb->isHidden());
    EXPECT_EQ(w.picTb->toolTip(), "Keep preview snapshot");
    EXPECT_EQ(w.state().maxSlots, 100);
    EXPECT_EQ(w.webServer.size(), 101);
}

struct ModeCase {
    const char* keepTb;
    bool timerRuns;
    bool thumbnailShown;
    const char* tip;
};

class ThumbnailMode : public MainWindowFixture, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ThumbnailMode, AppliedAtLoad)
{
    const ModeCase& c = GetParam();
    writeSettings(QByteArray("60\r\n3\r\n\"") + c.keepTb + "\"\r\n" +
                  QByteArray::number(freePortRun(1)) + "\r\n");
    frmMain& w = load();
    EXPECT_EQ(w.timeTb->isActive(), c.timerRuns);
    EXPECT_EQ(!w.picTb->isHidden(), c.thumbnailShown);
    EXPECT_EQ(w.picTb->toolTip(), c.tip);
    EXPECT_EQ(w.time->interval(), 333);
    EXPECT_EQ(w.lblQuality->text(), "Video Quality 60%");
}

INSTANTIATE_TEST_SUITE_P(Modes, ThumbnailMode,
    ::testing::Values(ModeCase{"0", false, false, "Keep preview snapshot"},
                      ModeCase{"True", true, true, "Hide preview snapshot"},
                      ModeCase{"False", true, true, "Keep preview snapshot"},
                      ModeCase{"", true, true, "Keep preview snapshot"}));

TEST_F(LoadSequence, TakesTheFirstSnapshotBeforeServing)
{
    writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(freePortRun(1)) + "\r\n");
    frmMain& w = load();
    const QImage snapshot(web.tempPath() + "/root/images/VelmarixCamImage.jpg");
    ASSERT_FALSE(snapshot.isNull());
    EXPECT_EQ(snapshot.size(), w.cam->source()->frameSize());
    EXPECT_FALSE(QFile::exists(web.tempPath() + "/VelmarixCamImage.bmp"));
    EXPECT_TRUE(w.sb3->text().endsWith("KB/s"));
    EXPECT_NE(w.sb3->text(), "KB/s");
    EXPECT_TRUE(w.cam->liveDisplay());
    EXPECT_FALSE(w.cam->isHidden());
}

TEST_F(LoadSequence, ConfiguredPortWinsOverTheClock)
{
    const int16_t port = freePortRun(1);
    writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(port) + "\r\n");
    frmMain& w = load(100.0f);
    EXPECT_EQ(w.state().My_PORT, port);
    EXPECT_EQ(w.sb2->text(), "Server: ON");
    EXPECT_FALSE(w.state().My_IP.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LoadSequence, AutomaticPortComesFromTheClock)
{
    writeSettings("75\r\n2\r\n\"True\"\r\n0\r\n");
    frmMain& w = load(100.0f);
    // 8100, or one of the next five when another program holds it.
    EXPECT_GE(w.state().My_PORT, 8100);
    EXPECT_LE(w.state().My_PORT, 8105);
    EXPECT_EQ(w.state().cfgPort, 0);
}

TEST_F(LoadSequence, TakenConfiguredPortWarnsAndUnloadStillWritesSettings)
{
    const int16_t port = freePortRun(1);
    PortBlocker blocker(port, false);
    ASSERT_TRUE(blocker.ok());
    writeSettings("50\r\n1\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n");
    frmMain& w = load();
    EXPECT_EQ(w.sb2->text(), "Server: OFF");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QString("Web Server cannot be start! Port %1 may be in use by another application.").arg(port));

    w.state().quality = 60;
    w.close();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(settingsBytes(), "60\r\n1\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n");
}

TEST_F(LoadSequence, ServesTheSnapshotOverLoopback)
{
    writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(freePortRun(1)) + "\r\n");
    frmMain& w = load();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    LoopbackClient client(w.state().My_PORT);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("GET /images/VelmarixCamImage.jpg?1 HTTP/1.1\r\nHost: x\r\n\r\n"));
    const QByteArray response = client.readAll();
    ASSERT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\n"));
    const qsizetype body = response.indexOf("\r\n\r\n") + 4;
    EXPECT_TRUE(response.contains("Content-Type: image/jpeg\r\n"));
    const QImage served = QImage::fromData(response.mid(body));
    EXPECT_EQ(served.size(), w.cam->source()->frameSize());
}

}  // namespace
