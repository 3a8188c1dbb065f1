#include "image/CameraPixels.h"
#include "image/FrameJpeg.h"
#include "image/PictureApply.h"
#include "image/PictureCaption.h"
#include "image/PictureJpegTransform.h"
#include "image/PicturePlanes.h"
#include "image/PictureStream.h"
#include "image/PictureTransform.h"

#include <QBuffer>
#include <QImageWriter>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Quarters of red, green, blue and white: R G above, B W below.
QImage cornerPicture(int width, int height, QImage::Format format)
{
    QImage picture(width, height, format);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixelColor(x, y, colours[(y >= height / 2) * 2 + (x >= width / 2)]);
    return picture;
}

// The nearest of the four colours at each corner, as "RGBW" (TL TR BL BR).
std::string corners(const QImage& picture)
{
    std::string result;
    const QPoint points[] = {{2, 2}, {picture.width() - 3, 2}, {2, picture.height() - 3},
                             {picture.width() - 3, picture.height() - 3}};
    for (const QPoint& point : points) {
        const QColor c = picture.pixelColor(point);
        result += c.red() > 128 ? (c.green() > 128 ? 'W' : 'R') : (c.green() > 128 ? 'G' : 'B');
    }
    return result;
}

QByteArray jpegOf(const QImage& picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setQuality(95);
    writer.write(picture.convertToFormat(QImage::Format_RGB32));
    return bytes;
}

struct Turn {
    int rotation;
    bool horizontal;
    bool vertical;
    const char* expected;
};

class PictureTurnTest : public testing::TestWithParam<Turn> {};

} // namespace

// Both ways of turning, the pixel one and the lossless JPEG one, must agree
// on where each corner goes and on the size.
TEST_P(PictureTurnTest, CornersLandWhereTheTurnAndMirrorsPutThem)
{
    const Turn turn = GetParam();
    PictureOptions options;
    options.rotation = turn.rotation;
    options.flipHorizontal = turn.horizontal;
    options.flipVertical = turn.vertical;
    const QSize expectedSize = turn.rotation % 180 ? QSize(48, 64) : QSize(64, 48);
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB32}) {
        const QImage turned = turnPicture(cornerPicture(64, 48, format), options);
        EXPECT_EQ(turned.size(), expectedSize);
        EXPECT_EQ(corners(turned), turn.expected) << "format " << format;
    }
    // The stream's YUV road turns while it copies samples into planes; a
    // plane of the letters themselves, every second byte of its rows.
    std::vector<uchar> plane(64 * 2 * 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            plane[std::size_t(y * 128 + x * 2)] = uchar("RGBW"[(y >= 24) * 2 + (x >= 32)]);
    std::array<uchar, 256> identity{};
    for (int i = 0; i < 256; ++i)
        identity[std::size_t(i)] = uchar(i);
    std::vector<uchar> copied(64 * 48);
    copyPlaneTurned(plane.data(), 128, 2, 64, 48, identity.data(), copied.data(), expectedSize.width(), options);
    const int w = expectedSize.width();
    const std::string planeCorners{char(copied[0]), char(copied[std::size_t(w - 1)]),
                                   char(copied[std::size_t(w * (expectedSize.height() - 1))]), char(copied.back())};
    EXPECT_EQ(planeCorners, turn.expected);
    // Packed and with no look-up, a quarter turn goes eight by eight in
    // registers: every byte must land where the plain copy puts it. Odd
    // sizes leave strips for the plain loop.
    for (const QSize size : {QSize(64, 48), QSize(61, 45)}) {
        std::vector<uchar> packed(std::size_t(size.width() * size.height()));
        for (std::size_t i = 0; i < packed.size(); ++i)
            packed[i] = uchar(i * 7 + i / 64);
        const int outLine = turn.rotation % 180 ? size.height() : size.width();
        std::vector<uchar> plain(packed.size());
        std::vector<uchar> blocks(packed.size());
        copyPlaneTurned(packed.data(), size.width(), 1, size.width(), size.height(), identity.data(), plain.data(),
                        outLine, options);
        copyPlaneTurned(packed.data(), size.width(), 1, size.width(), size.height(), nullptr, blocks.data(), outLine,
                        options);
        EXPECT_EQ(blocks, plain) << size.width();
    }

    const QByteArray jpeg = jpegOf(cornerPicture(64, 48, QImage::Format_RGB32));
    QByteArray out;
    PictureJpegTransform lossless;
    ASSERT_TRUE(lossless.transform(reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size(), options, &out));
    const QImage decoded = decodeJpeg(reinterpret_cast<const uchar*>(out.constData()), out.size());
    EXPECT_EQ(decoded.size(), expectedSize);
    EXPECT_EQ(corners(decoded), turn.expected);
}

INSTANTIATE_TEST_SUITE_P(AllTurns, PictureTurnTest,
    testing::Values(Turn{0, false, false, "RGBW"}, Turn{90, false, false, "BRWG"}, Turn{180, false, false, "WBGR"},
                    Turn{270, false, false, "GWRB"}, Turn{0, true, false, "GRWB"}, Turn{90, true, false, "RBGW"},
                    Turn{180, true, false, "BWRG"}, Turn{270, true, false, "WGBR"}, Turn{0, false, true, "BWRG"},
                    Turn{90, false, true, "WGBR"}, Turn{180, false, true, "GRWB"}, Turn{270, false, true, "RBGW"},
                    Turn{0, true, true, "WBGR"}, Turn{90, true, true, "GWRB"}, Turn{180, true, true, "RGBW"},
                    Turn{270, true, true, "BRWG"}));

TEST(PictureTurnTest, DefaultsShareThePictureAndPartialBlocksRefuseALosslessTurn)
{
    const QImage picture = cornerPicture(64, 40, QImage::Format_BGR888);
    EXPECT_EQ(applyPicture(picture, PictureOptions(), 0).constBits(), picture.constBits());

    // 40 rows of 4:2:0 leave half a block row at the bottom: a turn would
    // move it to an edge where it cannot stay partial; a left-right mirror
    // needs only the 64 columns whole.
    const QByteArray jpeg = jpegOf(picture);
    PictureOptions turned;
    turned.rotation = 90;
    PictureOptions mirrored;
    mirrored.flipHorizontal = true;
    PictureJpegTransform lossless;
    QByteArray out;
    EXPECT_FALSE(lossless.transform(reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size(), turned, &out));
    EXPECT_TRUE(lossless.transform(reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size(), mirrored, &out));
}

TEST(PictureCaptionTest, StaysInsideAndFollowsTheClock)
{
    // 2025-12-06 around noon UTC: the same day and year in every time zone's
    // 2 hours either side.
    const std::time_t when = 1765022400;
    EXPECT_EQ(captionText(QStringLiteral("%Y cam"), when), QStringLiteral("2025 cam"));
    EXPECT_TRUE(captionText(QString(), when).isEmpty());

    const QString longPattern = QStringLiteral("%Y-%m-%d %H:%M:%S ") + QString(200, QLatin1Char('x'));
    for (const QSize size : {QSize(320, 240), QSize(1920, 1080)}) {
        for (const auto corner : {PictureOptions::Corner::TopLeft, PictureOptions::Corner::BottomRight}) {
            const QRect band = captionBand(size, captionText(longPattern, when), corner);
            EXPECT_TRUE(QRect(QPoint(), size).contains(band)) << size.width();
            EXPECT_GE(band.height(), std::min(size.width(), size.height()) / 24) << "too small to read";
            EXPECT_LT(band.height(), size.height() / 8) << "one line only, never wrapped";
        }
        PictureOptions options;
        options.captionOn = true;
        options.caption = QStringLiteral("%H:%M:%S");
        QImage base(size, QImage::Format_BGR888);
        base.fill(Qt::gray);
        const QImage first = applyPicture(base, options, when);
        const QImage second = applyPicture(base, options, when + 1);
        EXPECT_NE(first, base);
        EXPECT_NE(first, second) << "a second later the caption differs";
        // Outside the band nothing changed.
        const QRect band = captionBand(size, captionText(options.caption, when), options.corner);
        EXPECT_EQ(first.copy(0, 0, size.width(), band.top()), base.copy(0, 0, size.width(), band.top()));
        QImage untouched = base;
        drawCaption(untouched, QString(), options.corner);
        EXPECT_EQ(untouched, base);

        // On YUV planes (4:2:0) only the band darkens, and its chroma stays neutral.
        const QSize chroma = size / 2;
        std::vector<uchar> luma(std::size_t(size.width() * size.height()), 200);
        std::vector<uchar> cb(std::size_t(chroma.width() * chroma.height()), 128);
        std::vector<uchar> cr = cb;
        drawCaptionOnPlanes({luma.data(), size.width(), cb.data(), cr.data(), chroma.width(), 2, 2}, size,
                            captionText(options.caption, when), options.corner);
        EXPECT_EQ(luma.front(), 200) << "outside the band";
        EXPECT_LT(luma[std::size_t(band.bottom() * size.width() + band.left())], 200) << "the band's corner";
        EXPECT_TRUE(std::all_of(cb.begin(), cb.end(), [](uchar c) { return c == 128; }));
    }
}

TEST(PictureStreamTest, StreamWidthKeepsTheShapeAndNeverEnlarges)
{
    const struct {
        QSize size;
        int width;
        QSize expected;
    } rows[] = {{{1920, 1080}, 640, {640, 360}}, {{1080, 1920}, 640, {640, 1138}}, {{1920, 1080}, 0, {1920, 1080}},
                {{640, 480}, 1280, {640, 480}}, {{640, 480}, 640, {640, 480}}};
    for (const auto& row : rows)
        EXPECT_EQ(streamSize(row.size, row.width), row.expected) << row.size.width() << " to " << row.width;

    PictureOptions options;
    options.rotation = 90;
    options.streamWidth = 240;
    const QImage stream = applyStreamPicture(cornerPicture(640, 480, QImage::Format_BGR888), options, 0);
    EXPECT_EQ(stream.size(), QSize(240, 320));
    EXPECT_EQ(corners(stream), "BRWG");
}

TEST(PictureStreamTest, EachCameraJpegTakesTheCheapestRoadTheOptionsAllow)
{
    using Road = PictureStream::Road;
    const auto with = [](int rotation, bool caption, int width) {
        PictureOptions options;
        options.rotation = rotation;
        options.captionOn = caption;
        options.streamWidth = width;
        return options;
    };
    const struct {
        QSize camera;
        PictureOptions options;
        Road road;
        QSize sent;
    } rows[] = {
        {{64, 48}, PictureOptions(), Road::AsItCame, {}},
        {{64, 48}, with(90, false, 0), Road::Lossless, {48, 64}},
        {{64, 40}, with(90, false, 0), Road::Reencoded, {40, 64}}, // half a block row: decoded instead
        {{64, 48}, with(0, true, 0), Road::Reencoded, {64, 48}},
        {{64, 48}, with(90, false, 32), Road::Reencoded, {32, 43}},
    };
    PictureStream stream;
    for (const auto& row : rows) {
        const QByteArray jpeg = jpegOf(cornerPicture(row.camera.width(), row.camera.height(), QImage::Format_RGB32));
        QByteArray out;
        EXPECT_EQ(stream.fromJpeg(reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size(), row.options, 0, 75, &out),
                  row.road) << row.camera.height() << " rows, " << row.options.rotation;
        if (row.road == Road::AsItCame)
            continue;
        const QImage sent = QImage::fromData(out, "JPEG");
        EXPECT_EQ(sent.size(), row.sent);
        // The caption's band covers the bottom corners of so small a picture.
        const std::size_t shown = row.options.captionOn ? 2 : 4;
        EXPECT_EQ(corners(sent).substr(0, shown), std::string(row.options.rotation ? "BRWG" : "RGBW").substr(0, shown));
    }
    // A YUYV frame (grey) is made a picture first, then turned and encoded.
    const QByteArray yuyv(64 * 48 * 2, char(0x80));
    QByteArray turned;
    EXPECT_EQ(stream.fromFrame(0x56595559 /* YUYV */, QSize(64, 48), 128, yuyv, QImage(), with(90, false, 0), 0, 75,
                               &turned),
              Road::Reencoded);
    EXPECT_EQ(QImage::fromData(turned, "JPEG").size(), QSize(48, 64));

    // Planes as TurboJPEG decodes them: 4:2:2 turned a quarter is 4:4:0;
    // 4:1:1 takes another road.
    std::vector<uchar> planes[3] = {std::vector<uchar>(64 * 48, 90), std::vector<uchar>(32 * 48, 128),
                                    std::vector<uchar>(32 * 48, 128)};
    std::vector<uchar> spare[3];
    QSize size(64, 48);
    int subsampling = TJSAMP_411;
    EXPECT_FALSE(pictureOnPlanes(planes, spare, size, subsampling, with(90, true, 0), 0));
    subsampling = TJSAMP_422;
    ASSERT_TRUE(pictureOnPlanes(planes, spare, size, subsampling, with(90, true, 0), 0));
    EXPECT_EQ(size, QSize(48, 64));
    EXPECT_EQ(subsampling, TJSAMP_440);
    EXPECT_LT(planes[0].back(), 90) << "the caption's band fills the narrow picture's bottom row";

    const QByteArray broken("\xff\xd8 not a picture");
    QByteArray out;
    EXPECT_EQ(stream.fromJpeg(reinterpret_cast<const uchar*>(broken.constData()), broken.size(), with(0, true, 0), 0, 75,
                              &out),
              Road::Failed);
}

TEST(PictureStreamTest, TheStreamEncoderAppliesTheOptionsOnEachRoad)
{
    PictureOptions turned;
    turned.rotation = 90;
    PictureOptions narrow;
    narrow.streamWidth = 32;
    PictureOptions captioned;
    captioned.captionOn = true;
    const QByteArray camera = jpegOf(cornerPicture(64, 48, QImage::Format_RGB32));
    const QByteArray yuyv(64 * 48 * 2, char(0x80));
    const struct {
        quint32 fourcc;
        QByteArray bytes;
        PictureOptions options;
        FrameJpeg::Outcome outcome;
        QSize sent;
    } rows[] = {
        {0x47504A4D /* MJPG */, camera, PictureOptions(), FrameJpeg::Outcome::PassedThrough, {64, 48}},
        {0x47504A4D, camera, turned, FrameJpeg::Outcome::Encoded, {48, 64}},   // on its decoded planes
        {0x47504A4D, camera, narrow, FrameJpeg::Outcome::Encoded, {32, 24}},   // by a scaled decode
        {0x56595559 /* YUYV */, yuyv, turned, FrameJpeg::Outcome::Encoded, {48, 64}}, // turned as copied
        {0x56595559, yuyv, captioned, FrameJpeg::Outcome::Encoded, {64, 48}},
    };
    FrameJpeg encoder;
    for (const auto& row : rows) {
        FrameJpeg::Outcome outcome = FrameJpeg::Outcome::Broken;
        const CameraImage frame{row.fourcc, QSize(64, 48), row.fourcc == 0x56595559 ? 128 : 0, row.bytes, QImage()};
        const QImage sent = QImage::fromData(encoder.encode(frame, 75, true, &outcome, &row.options), "JPEG");
        EXPECT_EQ(outcome, row.outcome) << row.options.rotation << " " << row.options.streamWidth;
        EXPECT_EQ(sent.size(), row.sent);
        if (row.fourcc != 0x56595559 && !row.options.captionOn) {
            EXPECT_EQ(corners(sent), row.options.rotation ? "BRWG" : "RGBW");
        }
    }
}
