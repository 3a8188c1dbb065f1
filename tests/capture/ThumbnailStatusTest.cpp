#include "capture/ThumbnailStatus.h"
#include "shell/chrome/PictureBox.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The quantisation tables of a baseline JPEG: all ones only at quality 100.
bool allQuantisersOne(const QByteArray& jpeg)
{
    int tables = 0;
    for (qsizetype i = 2; i + 4 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF)
            return false;
        const uchar marker = uchar(jpeg[i + 1]);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        if (marker == 0xDB) {
            for (qsizetype p = i + 4; p < i + 2 + length; p += 65) {
                ++tables;
                for (int k = 1; k <= 64; ++k)
                    if (uchar(jpeg[p + k]) != 1)
                        return false;
            }
        }
        if (marker == 0xDA)
            break;
        i += 2 + length;
    }
    return tables > 0;
}

class Thumbnail : public ::testing::Test {
protected:
    Thumbnail()
    {
        QDir(dir.path()).mkpath("root/images");
        state.TempPath = dir.path();
        state.imageNameTb = "VelmarixCamImage_tb";
        state.quality = 75;
        state.keepTb = "True";
        pic.resize(320, 240);
        picTb.setGeometry(220, 165, 100, 75);
        QImage frame(640, 480, QImage::Format_RGB32);
        frame.fill(Qt::red);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 640; ++x)
                frame.setPixel(x, y, qRgb(0, 0, 255));  // blue top half
        pic.setPicture(frame);
    }
    QString ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            status.tick();
        return sb1.text();
    }

    QTemporaryDir dir;
    MainState state;
    PictureBox pic;
    PictureBox picTb;
    QLabel sb1{"Ready"};
    ThumbnailStatus status{state, pic, picTb, sb1};
};

TEST_F(Thumbnail, CountdownOverAMinute)
{
    EXPECT_EQ(ticks(1), "Snapshot: 60");
    EXPECT_TRUE(QFile::exists(status.thumbnailPath()));
    QFile::remove(status.thumbnailPath());
    EXPECT_EQ(ticks(1), "Snapshot: 59");
    EXPECT_EQ(ticks(49), "Snapshot: 10");
    EXPECT_EQ(ticks(1), "Snapshot: 09");
    EXPECT_EQ(ticks(8), "Snapshot: 01");
    EXPECT_FALSE(QFile::exists(status.thumbnailPath()));
    EXPECT_EQ(ticks(1), "Snapshot: 00");  // the 61st tick makes the next thumbnail
    EXPECT_TRUE(QFile::exists(status.thumbnailPath()));
    EXPECT_EQ(ticks(1), "Snapshot: 59");
}

TEST_F(Thumbnail, IsTheStretchedSnapshotAtQualityPlusTen)
{
    state.quality = 90;
    status.TakeThumbnail();
    QFile file(status.thumbnailPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    EXPECT_TRUE(allQuantisersOne(jpeg));

    const QImage written = QImage::fromData(jpeg);
    ASSERT_EQ(written.size(), QSize(100, 75));
    EXPECT_GT(qBlue(written.pixel(50, 10)), 200);  // top half blue: upright
    EXPECT_GT(qRed(written.pixel(50, 65)), 200);
    EXPECT_EQ(picTb.picture().size(), QSize(100, 75));
    EXPECT_FALSE(picTb.isHidden());
}

TEST_F(Thumbnail, ModeFalseHidesOnTheFifthTickAfterTheThumbnail)
{
    state.keepTb = "False";
    picTb.show();
    ticks(5);
    EXPECT_FALSE(picTb.isHidden());
    ticks(1);
    EXPECT_TRUE(picTb.isHidden());
    ticks(54);  // the next thumbnail shows it again
    EXPECT_TRUE(picTb.isHidden());
    ticks(1);
    EXPECT_FALSE(picTb.isHidden());
}

TEST_F(Thumbnail, SwitchingToFalseHidesAnOldThumbnailAtTheNextTick)
{
    ticks(20);
    EXPECT_FALSE(picTb.isHidden());
    status.clickThumbnail();
    EXPECT_EQ(state.keepTb, "False");
    EXPECT_EQ(picTb.toolTip(), "Keep preview snapshot");
    EXPECT_FALSE(picTb.isHidden());  // the click itself hides nothing
    ticks(1);
    EXPECT_TRUE(picTb.isHidden());
}

TEST_F(Thumbnail, ClickFromAnyOtherModeKeepsTheThumbnail)
{
    for (const char* mode : {"False", "0", ""}) {
        state.keepTb = mode;
        status.clickThumbnail();
        EXPECT_EQ(state.keepTb, "True") << mode;
        EXPECT_EQ(picTb.toolTip(), "Hide preview snapshot");
    }
}

}  // namespace
