#include "FaultSupport.h"

#include <QLabel>

namespace {

constexpr int kJpegTolerance = 6;

QColor servedColour(int16_t port, QByteArray* body = nullptr)
{
    const HttpAnswer answer = fetch(port, "/images/VelmarixCamImage.jpg?d");
    if (!answer.complete || answer.contentType != "image/jpeg")
        return {};
    if (body)
        *body = answer.body;
    return meanColour(answer.body);
}

// A limit of 0 refuses the first byte; a few hundred bytes let each file
// start and then cut it, which leaves a part-written temporary file behind
// unless the writer cleans up.
class FullDisk : public FaultWindow, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(FullDisk, LastGoodSnapshotStaysServedAndWritingResumes)
{
    frmMain& w = loadOnFreePort();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    const int16_t port = w.state().My_PORT;
    const QByteArray lastGood = snapshotBytes();
    const QColor lastColour = camera->lastColour;
    ASSERT_FALSE(lastGood.isEmpty());

    {
        FileSizeLimit limit(GetParam());
        ASSERT_TRUE(limit.ok());
        for (int i = 0; i < 3; ++i) {
            tick(w.time);
            ASSERT_EQ(snapshotBytes(), lastGood);
            QByteArray served;
            servedColour(port, &served);
            ASSERT_EQ(served, lastGood);
        }
        // The frame goes through a bitmap file, which cannot be written either.
        EXPECT_EQ(w.sb1->text(), "Check video...");
        EXPECT_TRUE(w.sb3->text().endsWith("KB/s"));
        EXPECT_EQ(filesIn("root/images"), (QStringList{"status.json", "VelmarixCamImage.jpg"}));
    }

    tick(w.time);
    EXPECT_NE(camera->lastColour, lastColour);
    EXPECT_NE(snapshotBytes(), lastGood);
    EXPECT_LE(colourDistance(servedColour(port), camera->lastColour), kJpegTolerance);
    EXPECT_EQ(filesIn("root/images"), (QStringList{"status.json", "VelmarixCamImage.jpg"}));
    EXPECT_FALSE(QFile::exists(web.tempPath() + "/VelmarixCamImage.bmp"));
    EXPECT_TRUE(w.time->isActive());
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, ::testing::Values(rlim_t(0), rlim_t(300)));

using SnapshotDirectory = FaultWindow;

TEST_F(SnapshotDirectory, RemovedThenRecreated)
{
    frmMain& w = loadOnFreePort();
    ASSERT_EQ(w.sb2->text(), "Server: ON");
    const int16_t port = w.state().My_PORT;
    const QString images = web.tempPath() + "/root/images";
    ASSERT_TRUE(QDir(images).removeRecursively());

    for (int i = 0; i < 2; ++i)
        tick(w.time);
    // The cycle never makes the directory; viewers get the error page meanwhile.
    EXPECT_FALSE(QFileInfo::exists(images));
    const HttpAnswer missing = fetch(port, "/images/VelmarixCamImage.jpg");
    ASSERT_TRUE(missing.complete);
    EXPECT_EQ(missing.contentType, "text/html");
    EXPECT_EQ(missing.body, "<html>error</html>\n");
    EXPECT_EQ(fetch(port, "/").body, "<html>player</html>\n");
    EXPECT_NE(w.sb1->text(), "Check video...");

    ASSERT_TRUE(QDir().mkpath(images));
    tick(w.time);
    ASSERT_TRUE(QFile::exists(snapshotPath()));
    EXPECT_LE(colourDistance(servedColour(port), camera->lastColour), kJpegTolerance);
    EXPECT_EQ(filesIn("root/images"), (QStringList{"status.json", "VelmarixCamImage.jpg"}));
}

} // namespace
