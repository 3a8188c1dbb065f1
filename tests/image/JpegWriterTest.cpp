#include "ImageTestSupport.h"
#include "image/mIntelJPEGLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

// The written file read back through Qt's own JPEG reader.
QImage decodeFile(const QString& path)
{
    return QImage(path, "JPEG").convertToFormat(QImage::Format_RGB32);
}

// Top half red, bottom half blue, with a green left quarter: a flip, a
// channel swap or a wrong stride all show.
QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           x < width / 4 ? qRgb(0, 200, 0) : (y < height / 2 ? qRgb(220, 20, 20) : qRgb(20, 20, 220)));
    return image;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
}

// Everything in a directory, hidden entries included: no temporary file may remain.
QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString expectedSource()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".mIntelJPEGLibrary";
}

class JpegWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_image.CreateFromPicture(testPicture(64, 48));
        ASSERT_NE(m_image.DIBSectionBitsPtr(), nullptr);
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
    cDIBSection m_image;
};

} // namespace

class JpegRoundTripTest : public ::testing::TestWithParam<int> {};

TEST_P(JpegRoundTripTest, UprightInColourAtEveryStride)
{
    const int width = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    cDIBSection dib;
    dib.CreateFromPicture(testPicture(width, 240));
    ASSERT_EQ(dib.Width(), width);
    fillPadBytes(dib, 0xFF); // pad bytes must never reach the picture
    const QString file = dir.filePath(QStringLiteral("snap.jpg"));
    ASSERT_TRUE(mIntelJPEGLibrary::SaveJpegFile(dib, file, 75));
    EXPECT_EQ(mIntelJPEGLibrary::lastError().number, 0);

    const QImage decoded = decodeFile(file);
    ASSERT_EQ(decoded.size(), QSize(width, 240));
    auto near = [](QRgb got, QRgb want) {
        return std::abs(qRed(got) - qRed(want)) <= 12 && std::abs(qGreen(got) - qGreen(want)) <= 12
            && std::abs(qBlue(got) - qBlue(want)) <= 12;
    };
    for (int y : {0, 20, 110})
        EXPECT_TRUE(near(decoded.pixel(width * 3 / 4, y), qRgb(220, 20, 20))) << y;
    for (int y : {130, 220, 239})
        EXPECT_TRUE(near(decoded.pixel(width - 1, y), qRgb(20, 20, 220))) << y;
    if (width >= 16) {
        EXPECT_TRUE(near(decoded.pixel(0, 120), qRgb(0, 200, 0)));
    }
}

// 320 has no pad bytes, 321 one, 322 two, 323 three; 16 and 17 cross MCU edges.
INSTANTIATE_TEST_SUITE_P(Widths, JpegRoundTripTest, ::testing::Values(320, 321, 322, 323, 16, 17, 1));

TEST_F(JpegWriter, QualityReachesTheEncoderAndIsClampedOutsideItsRange)
{
    qint64 previous = 0;
    for (int quality : {-5, 1, 50, 100, 1000}) {
        SCOPED_TRACE(quality);
        const QString file = path("q.jpg");
        ASSERT_TRUE(mIntelJPEGLibrary::SaveJpegFile(m_image, file, quality));
        EXPECT_EQ(decodeFile(file).width(), 64);
        const qint64 size = QFileInfo(file).size();
        if (quality == 1 || quality == 1000) {
            EXPECT_EQ(size, previous); // -5 acts as 1, 1000 as 100
        } else if (quality > 1) {
            EXPECT_GT(size, previous);
        }
        previous = size;
    }
}

struct FailureCase {
    const char* name;
    const char* description;
};

class JpegFailureTest : public ::testing::TestWithParam<FailureCase> {};

// Each failure keeps the old file whole, leaves no temporary file and says why.
TEST_P(JpegFailureTest, OldFileStaysAndErrorIsRecorded)
{
    const FailureCase c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString images = dir.filePath("images");
    ASSERT_TRUE(QDir().mkpath(images));
    QString target = images + "/snap.jpg";
    writeFile(target, "previous picture");

    cDIBSection image;
    const std::string name = c.name;
    if (name != "EmptyImage")
        image.CreateFromPicture(testPicture(32, 24));
    if (name == "ReadOnlyDirectory") {
        if (::geteuid() == 0)
            GTEST_SKIP() << "root writes into read-only directories";
        ASSERT_EQ(::chmod(QFile::encodeName(images).constData(), 0555), 0);
    } else if (name == "MissingDirectory") {
        target = dir.filePath("absent/snap.jpg");
    } else if (name == "TargetIsADirectory") {
        target = images;
    }

    EXPECT_FALSE(mIntelJPEGLibrary::SaveJpegFile(image, target, 75));
    ::chmod(QFile::encodeName(images).constData(), 0755);

    const mIntelJPEGLibrary::JpegError error = mIntelJPEGLibrary::lastError();
    EXPECT_EQ(error.number, 26001);
    EXPECT_EQ(error.source, expectedSource());
    EXPECT_EQ(error.description, QString::fromLatin1(c.description));
    EXPECT_EQ(contentOf(images + "/snap.jpg"), QByteArray("previous picture"));
    EXPECT_EQ(entriesOf(images), QStringList{"snap.jpg"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegFailureTest,
    ::testing::Values(FailureCase{"EmptyImage", "Failed to save to JPG -2"},
                      FailureCase{"ReadOnlyDirectory", "Failed to save to JPG -4"},
                      FailureCase{"MissingDirectory", "Failed to save to JPG -4"},
                      FailureCase{"TargetIsADirectory", "Failed to save to JPG -6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegWriter, ErrorIsClearedBySuccessAndImageIsNotChanged)
{
    cDIBSection empty;
    EXPECT_FALSE(mIntelJPEGLibrary::SaveJpegFile(empty, path("a.jpg"), 75));
    EXPECT_EQ(mIntelJPEGLibrary::lastError().number, 26001);

    const std::size_t bytes = static_cast<std::size_t>(m_image.BytesPerScanLine()) * m_image.Height();
    const std::vector<std::uint8_t> before(m_image.DIBSectionBitsPtr(), m_image.DIBSectionBitsPtr() + bytes);
    EXPECT_TRUE(mIntelJPEGLibrary::SaveJpegFile(m_image, path("a.jpg"), 75));
    EXPECT_EQ(mIntelJPEGLibrary::lastError().number, 0);
    EXPECT_TRUE(mIntelJPEGLibrary::lastError().description.isEmpty());
    EXPECT_EQ(std::vector<std::uint8_t>(m_image.DIBSectionBitsPtr(), m_image.DIBSectionBitsPtr() + bytes), before);
}

// Each test runs in a process of its own under CTest: the size changes
// on the one shared encoder are played here.
TEST_F(JpegWriter, SizesChangeBetweenCallsOnTheSharedEncoder)
{
    for (int size : {8, 400, 16, 1000, 3}) {
        SCOPED_TRACE(size);
        cDIBSection dib;
        dib.CreateFromPicture(testPicture(size, size / 2 + 1));
        ASSERT_TRUE(mIntelJPEGLibrary::SaveJpegFile(dib, path("s.jpg"), 90));
        EXPECT_EQ(decodeFile(path("s.jpg")).size(), QSize(size, size / 2 + 1));
    }
}
