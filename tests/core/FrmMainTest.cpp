#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "shell/chrome/PictureBox.h"
#include "support/Mouse.h"

#include <QClipboard>
#include <QGuiApplication>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>

// The load sequence and the main window's wiring of the server, the
// snapshot cycle and the settings; each part's own rules are tested with it.
namespace {

using MainWindow = MainWindowFixture;

struct LoadCase {
    const char* name;
    const char* settings; // nullptr: no Settings.ini
    int interval;
    const char* qualityCaption;
    bool thumbnailRuns; // the countdown runs and the thumbnail shows
    const char* tip;
};

void PrintTo(const LoadCase& row, std::ostream* out)
{
    *out << row.name;
}

class LoadSettings : public MainWindowFixture, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadSettings, AreAppliedToTimersCaptionsAndThumbnail)
{
    const LoadCase& c = GetParam();
    if (c.settings)
        writeSettings(QByteArray(c.settings) + QByteArray::number(freePortRun(1)) + "\r\n");
    frmMain& w = load();
    EXPECT_EQ(w.time->interval(), c.interval);
    EXPECT_TRUE(w.time->isActive());
    EXPECT_EQ(w.lblQuality->text(), c.qualityCaption);
    EXPECT_EQ(w.timeTb->isActive(), c.thumbnailRuns);
    EXPECT_EQ(!w.picTb->isHidden(), c.thumbnailRuns);
    EXPECT_EQ(w.picTb->toolTip(), c.tip);
    EXPECT_EQ(w.webServer.size(), 101);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadSettings,
    ::testing::Values(LoadCase{"Missing", nullptr, 500, "Video Quality 75%", true, "Keep preview snapshot"},
                      LoadCase{"NoThumbnail", "60\r\n3\r\n\"0\"\r\n", 333, "Video Quality 60%", false,
                               "Keep preview snapshot"},
                      LoadCase{"KeepThumbnail", "60\r\n3\r\n\"True\"\r\n", 333, "Video Quality 60%", true,
                               "Hide preview snapshot"},
                      LoadCase{"HideThumbnail", "60\r\n3\r\n\"False\"\r\n", 333, "Video Quality 60%", true,
                               "Keep preview snapshot"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindow, ServesTheFirstSnapshotOnTheConfiguredPort)
{
    const int16_t port = freePortRun(1);
    writeSettingsWithPort(port);
    frmMain& w = load(100.0f); // the clock alone would say 8100
    EXPECT_EQ(w.state().My_PORT, port);
    EXPECT_EQ(w.sb2->text(), "Server: ON");
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(w.cam->liveDisplay());
    EXPECT_FALSE(w.cam->isHidden());
    EXPECT_TRUE(w.sb3->text().endsWith("KB/s"));
    EXPECT_NE(w.sb3->text(), "KB/s");
    EXPECT_FALSE(QFile::exists(web.tempPath() + "/VelmarixCamImage.bmp"));

    LoopbackClient client(port);
    ASSERT_TRUE(client.send("GET /images/VelmarixCamImage.jpg?1 HTTP/1.1\r\nHost: x\r\n\r\n"));
    const QByteArray response = client.readAll();
    ASSERT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(response.contains("Content-Type: image/jpeg\r\n"));
    const QByteArray body = response.mid(response.indexOf("\r\n\r\n") + 4);
    EXPECT_EQ(body, snapshotBytes());
    EXPECT_EQ(QImage::fromData(body).size(), w.cam->source()->frameSize());
}

TEST_F(MainWindow, AutomaticPortComesFromTheClockAndStaysAutomatic)
{
    writeSettings("75\r\n2\r\n\"True\"\r\n0\r\n");
    frmMain& w = load(100.0f);
    // 8100, or one of the next five when another program holds it.
    EXPECT_GE(w.state().My_PORT, 8100);
    EXPECT_LE(w.state().My_PORT, 8105);
    // The address viewers need follows the retries; a click copies it.
    const QString address = "http://" + w.state().My_IP + ":" + QString::number(w.state().My_PORT) + "/";
    EXPECT_EQ(w.sb2->toolTip(), address);
    QGuiApplication::clipboard()->clear();
    Mouse::press(w.sb2, Qt::LeftButton);
    Mouse::release(w.sb2, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), address);
    w.close();
    EXPECT_EQ(settingsBytes(), "75\r\n2\r\n\"True\"\r\n0\r\n");
}

TEST_F(MainWindow, TakenPortIsReportedAndTheRestGoesOn)
{
    // Picks again when a test running beside this one takes the port first.
    std::vector<std::unique_ptr<PortBlocker>> blockers;
    const int16_t port = holdPortRun(1, 1, blockers);
    ASSERT_NE(port, 0);
    writeSettings("50\r\n1\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n");
    frmMain& w = load();
    EXPECT_EQ(w.sb2->text(), "Server: OFF");
    EXPECT_EQ(w.sb2->toolTip(), QStringLiteral("Not serving: port %1 could not be opened").arg(port));
    EXPECT_EQ(messages,
              QStringList{QString("Web Server cannot be start! Port %1 may be in use by another application.").arg(port)});

    const QByteArray before = snapshotBytes();
    tick(w.time);
    w.waitForSnapshot();
    EXPECT_NE(snapshotBytes(), before); // the test pattern moved
    w.state().quality = 60;
    w.close();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(w.time->isActive());
    EXPECT_EQ(settingsBytes(), "60\r\n1\r\n\"False\"\r\n" + QByteArray::number(port) + "\r\n");
}

TEST_F(MainWindow, LostListenerRestartsOnItsPort)
{
    const int16_t port = freePortRun(1);
    writeSettingsWithPort(port);
    frmMain& w = load();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    emit w.webServer.SocketEnded(0);
    ASSERT_TRUE(pumpUntil([&] { return w.state().portTries == 5; }));
    EXPECT_EQ(w.state().My_PORT, port);
    EXPECT_EQ(w.sb2->text(), "Server: ON");
    LoopbackClient client(port);
    ASSERT_TRUE(client.send("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(client.readAll().endsWith("<html>player</html>\n"));
}

TEST_F(MainWindow, UnloadRunsOnceAndEndsEvenWhenSettingsCannotBeWritten)
{
    ASSERT_TRUE(QDir(web.tempPath()).mkdir("Settings.ini"));
    frmMain& w = load();
    EXPECT_EQ(w.state().rate, 2); // nothing read: the fallbacks
    w.close();
    w.close();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(QFileInfo(web.tempPath() + "/Settings.ini").isDir());
    EXPECT_TRUE(QDir(web.tempPath()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
