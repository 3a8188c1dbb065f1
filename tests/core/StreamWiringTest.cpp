#include "MainWindowFixture.h"

#include "capture/control/CaptureControl.h"
#include "capture/source/TestPatternSource.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

class StreamWiringTest : public MainWindowFixture {
protected:
    QByteArray fileBytes(const QString& relative) const
    {
        QFile file(web.tempPath() + "/root/" + relative);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(StreamWiringTest, TheStreamServesWhatTheCycleWroteAndViewersAreCounted)
{
    streamPort = freePortRun(1);
    ASSERT_GT(streamPort, 0);
    int16_t webPort = freePortRun(1);
    for (int i = 0; i < 10 && webPort == streamPort; ++i)
        webPort = freePortRun(1);
    ASSERT_NE(webPort, streamPort);
    writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(webPort) + "\r\n");
    frmMain& main = load();
    ASSERT_TRUE(main.streamServer().isListening());
    EXPECT_EQ(main.streamServer().port(), streamPort);

    LoopbackClient snapshot(static_cast<int16_t>(streamPort));
    ASSERT_TRUE(snapshot.send("GET /snapshot HTTP/1.1\r\n\r\n"));
    const QByteArray answer = snapshot.readAll();
    const QByteArray jpeg = fileBytes("images/VelmarixCamImage.jpg");
    ASSERT_FALSE(jpeg.isEmpty());
    EXPECT_EQ(answer.mid(answer.indexOf("\r\n\r\n") + 4), jpeg);

    // One viewer on the web port, one on the stream.
    LoopbackClient page(main.state().My_PORT);
    ASSERT_TRUE(page.send("GET /images/status.json HTTP/1.1\r\n\r\n"));
    page.readAll();
    LoopbackClient stream(static_cast<int16_t>(streamPort));
    ASSERT_TRUE(stream.send("GET /stream HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return main.streamServer().streamClients() == 1; }));
    main.TakeSnapshot();
    EXPECT_TRUE(main.sb3->toolTip().startsWith("2 viewers, about ")) << main.sb3->toolTip().toStdString();
    const QJsonObject status = QJsonDocument::fromJson(fileBytes("images/status.json")).object();
    EXPECT_EQ(status.value("viewers").toInt(), 2);
    EXPECT_EQ(status.value("rate").toInt(), 2);
    EXPECT_GE(status.value("frame").toInteger(), 2);
    EXPECT_EQ(status.value("stream").toObject().value("port").toInt(), streamPort);

    LoopbackClient health(static_cast<int16_t>(streamPort));
    ASSERT_TRUE(health.send("GET /health HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(health.readAll().startsWith("HTTP/1.1 200 OK\r\n"));
}

TEST_F(StreamWiringTest, ViewersGetTheNewSnapshotFromMemoryAtOnce)
{
    const int16_t webPort = freePortRun(1);
    ASSERT_GT(webPort, 0);
    writeSettings("75\r\n2\r\n\"True\"\r\n" + QByteArray::number(webPort) + "\r\n");
    frmMain& main = load();
    main.TakeSnapshot();
    // The file is younger than the cache's settle time, so only the bytes
    // handed over by the cycle can make this a hit.
    const quint64 hits = main.httpServer().fileCache().hits();
    LoopbackClient viewer(main.state().My_PORT);
    ASSERT_TRUE(viewer.send("GET /images/VelmarixCamImage.jpg HTTP/1.1\r\n\r\n"));
    const QByteArray answer = viewer.readAll();
    EXPECT_EQ(answer.mid(answer.indexOf("\r\n\r\n") + 4), fileBytes("images/VelmarixCamImage.jpg"));
    EXPECT_EQ(main.httpServer().fileCache().hits(), hits + 1);
}

TEST_F(StreamWiringTest, WhileWatchedTheStreamCarriesTheCamerasFramesAndFollowsTheSource)
{
    streamPort = freePortRun(1);
    ASSERT_GT(streamPort, 0);
    catalog = std::make_unique<ScriptedCatalog>(QList<SourceChoice>{
        {TestPatternSource::sourceId(), TestPatternSource::sourceName()}, {"/dev/fake0", "Fake zero"}});
    frmMain& main = load();
    EXPECT_EQ(main.streamEncoder().counts().encoded, 0u); // nobody watches yet
    LoopbackClient stream(static_cast<int16_t>(streamPort));
    ASSERT_TRUE(stream.send("GET /stream HTTP/1.1\r\n\r\n"));
    const auto encodedSoon = [&](quint64 more) {
        const quint64 target = main.streamEncoder().counts().encoded + more;
        return pumpUntil([&] { return main.streamEncoder().counts().encoded >= target; });
    };
    ASSERT_TRUE(encodedSoon(3));
    EXPECT_TRUE(main.latestFrame().cameraFed());
    // A source without frames for other threads: the encoder lets go of the
    // old one before it is freed, and takes up the test pattern's again.
    ASSERT_TRUE(main.cam->selectSource("/dev/fake0"));
    ASSERT_TRUE(main.cam->selectSource(TestPatternSource::sourceId()));
    EXPECT_TRUE(encodedSoon(3));
}

TEST_F(StreamWiringTest, NoPortNoStream)
{
    frmMain& main = load();
    EXPECT_FALSE(main.streamServer().isListening());
}

} // namespace
