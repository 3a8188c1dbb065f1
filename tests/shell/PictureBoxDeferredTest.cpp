#include "shell/chrome/PictureBox.h"

#include <gtest/gtest.h>

namespace {

QImage solid(const QColor& color)
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

TEST(PictureBoxDeferred, MadeOnceWhenAskedForAndANullResultKeepsTheOldPicture)
{
    PictureBox box;
    box.setPicture(solid(Qt::red));
    int made = 0;
    box.setDeferredPicture([&] { ++made; return solid(Qt::blue); });
    EXPECT_EQ(made, 0);
    EXPECT_EQ(box.picture().pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(box.picture().pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(made, 1);

    box.setDeferredPicture([&] { ++made; return QImage(); }); // e.g. a JPEG that will not decode
    EXPECT_EQ(box.picture().pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_FALSE(box.hasDeferredPicture());
}

TEST(PictureBoxDeferred, ANewPictureOrAClearDropsThePendingOne)
{
    PictureBox box;
    int made = 0;
    box.setDeferredPicture([&] { ++made; return solid(Qt::blue); });
    box.setPicture(solid(Qt::green));
    EXPECT_EQ(box.picture().pixelColor(0, 0), QColor(Qt::green));

    box.setDeferredPicture([&] { ++made; return solid(Qt::blue); });
    box.clearSurface();
    EXPECT_TRUE(box.picture().isNull());
    EXPECT_EQ(made, 0);
}

} // namespace
