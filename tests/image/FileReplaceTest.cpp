#include "image/FileReplace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

int exchangeUnsupported(const char*, const char*)
{
    errno = EINVAL; // as on file systems that lack RENAME_EXCHANGE
    return -1;
}

int exchangeMissing(const char*, const char*)
{
    errno = ENOSYS; // as on kernels without renameat2
    return -1;
}

struct stat statOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Everything in the directory, hidden entries included: no temporary file may remain.
QStringList entriesOf(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

ReplaceStatus replace(const QString& path, const QByteArray& data)
{
    return replaceFileKeepingStamps(path, reinterpret_cast<const std::uint8_t*>(data.constData()),
                                    static_cast<std::size_t>(data.size()));
}

class FileReplaceTest : public ::testing::TestWithParam<ExchangeNames> {
protected:
    void TearDown() override { setExchangeNames(nullptr); }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("snap.jpg"));
};

TEST_P(FileReplaceTest, ReplacementKeepsTheOldTimesAndMode)
{
    setExchangeNames(GetParam());
    ASSERT_EQ(replace(file, "old snapshot"), ReplaceStatus::Ok);
    const QByteArray native = QFile::encodeName(file);
    const struct timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
    ASSERT_EQ(::chmod(native.constData(), 0604), 0);
    const struct stat old = statOf(file);

    ASSERT_EQ(replace(file, "new snapshot"), ReplaceStatus::Ok);
    const struct stat st = statOf(file);
    EXPECT_EQ(contentOf(file), "new snapshot");
    EXPECT_NE(st.st_ino, old.st_ino);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
    EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(entriesOf(dir), QStringList{"snap.jpg"});
}

TEST_P(FileReplaceTest, NewFileGetsTheUsualModeAndFreshTimes)
{
    setExchangeNames(GetParam());
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const time_t before = ::time(nullptr);
    ASSERT_EQ(replace(file, "first"), ReplaceStatus::Ok);
    EXPECT_EQ(statOf(file).st_mode & 07777, 0666 & ~mask);
    EXPECT_GE(statOf(file).st_mtim.tv_sec, before - 1);
    EXPECT_EQ(entriesOf(dir), QStringList{"snap.jpg"});
}

INSTANTIATE_TEST_SUITE_P(Exchange, FileReplaceTest,
                         ::testing::Values(nullptr, &exchangeUnsupported, &exchangeMissing),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Real" : info.index == 1 ? "Unsupported" : "Missing");
                         });

TEST(FileReplace, FailedRenameLeavesTheTargetAndNoTemporaryFile)
{
    setExchangeNames(&exchangeUnsupported);
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("snap.jpg/inside")));
    // A directory in the way: neither exchanged nor renamed over.
    EXPECT_EQ(replace(dir.filePath(QStringLiteral("snap.jpg")), "data"), ReplaceStatus::RenameFailed);
    EXPECT_EQ(entriesOf(dir), QStringList{"snap.jpg"});
    EXPECT_EQ(replace(dir.filePath(QStringLiteral("absent/snap.jpg")), "data"), ReplaceStatus::CreateFailed);
    EXPECT_EQ(replace(QString(), "data"), ReplaceStatus::CreateFailed);
    setExchangeNames(nullptr);
}

} // namespace
