#include "SocketFakes.h"
#include "support/WebRoot.h"

#include "http/FileCache.h"
#include "http/FileExists.h"
#include "http/RequestHandler.h"
#include "http/ResponseHeader.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

// The real file calls, and the real clock moved on by a given time.
class ShiftedClock : public FileCache::System {
public:
    int64_t nowNs() const override { return System::nowNs() + shiftNs; }
    int64_t shiftNs = 0;
};

class FileCacheTest : public testing::Test {
protected:
    QByteArray path(const char* name) const { return web.root() + name; }

    // Sets the modification time an hour back and moves the cache's clock
    // past the settle time of the change time (which that sets to now).
    void age(const char* name)
    {
        timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path(name).constData(), times, 0), 0);
        clock.shiftNs = FileCache::kSettleNs + 500'000'000;
    }

    // What the handler would send for the file, or "missing".
    QByteArray serve(const char* name)
    {
        struct stat info {};
        ServedFile file;
        if (!FileExists(path(name), info) || !cache.serve(path(name), info, file))
            return "missing";
        return file.header + file.body;
    }

    WebRootDir web;
    ShiftedClock clock;
    FileCache cache{FileCache::kDefaultBudget, FileCache::kDefaultStreamThreshold, clock};
};

TEST_F(FileCacheTest, SettledFileIsKeptAndSharedWithItsHeader)
{
    const QByteArray bytes = patternBytes(3000);
    web.write(QStringLiteral("a.jpg"), bytes);
    age("a.jpg");
    EXPECT_EQ(serve("a.jpg"), responseHeader("image/jpeg", 3000) + bytes);
    EXPECT_EQ(serve("a.jpg"), responseHeader("image/jpeg", 3000) + bytes);
    EXPECT_EQ(cache.hits(), 1u);
    EXPECT_EQ(cache.entryCount(), 1);
}

TEST_F(FileCacheTest, RenamedInFileWithOldTimeAndSameSizeIsServedFresh)
{
    // As the snapshot writer replaces a file: a new inode, the old times.
    web.write(QStringLiteral("images/cam.jpg"), patternBytes(5000));
    age("images/cam.jpg");
    ASSERT_NE(serve("images/cam.jpg"), "missing");
    const QByteArray next(5000, 'n');
    web.write(QStringLiteral("images/next.tmp"), next);
    struct stat old {};
    ASSERT_EQ(::stat(path("images/cam.jpg").constData(), &old), 0);
    const timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("images/next.tmp").constData(), times, 0), 0);
    ASSERT_NE(serve("images/cam.jpg"), "missing");
    ASSERT_EQ(cache.hits(), 1u); // kept, so only the inode tells the files apart
    ASSERT_EQ(::rename(path("images/next.tmp").constData(), path("images/cam.jpg").constData()), 0);
    EXPECT_EQ(serve("images/cam.jpg"), responseHeader("image/jpeg", 5000) + next);
}

// A file system whose times move in whole steps: stat and open report the
// step the test sets, and the clock is the test's too.
class CoarseTimes : public FileCache::System {
public:
    int64_t nowNs() const override { return now; }
    bool stat(const QByteArray& path, struct stat& info) const override
    {
        return System::stat(path, info) && stamped(info);
    }
    std::shared_ptr<OpenFile> open(const QByteArray& path, struct stat& info) const override
    {
        std::shared_ptr<OpenFile> file = System::open(path, info);
        return file && stamped(info) ? file : nullptr;
    }
    bool stamped(struct stat& info) const
    {
        info.st_mtim = info.st_ctim = {stamp, 0};
        return true;
    }
    int64_t now = 0;
    time_t stamp = 0;
};

TEST_F(FileCacheTest, FileIsKeptOnlyOnceItsTimeIsOlderThanTheCoarsestStep)
{
    // Rewrites in place with the same size; within one step the times stay.
    struct Step {
        int64_t nowMs;
        char rewrite; // 0: none
        time_t stamp;
        char served;
        int kept;
    };
    const Step steps[] = {
        {1000'500, 'a', 1000, 'a', 0},
        {1001'900, 'b', 1000, 'b', 0}, // the same step: stat as before
        {1002'000, 0, 1000, 'b', 0},   // exactly 2 s: not older yet
        {1002'100, 0, 1000, 'b', 1},   // now kept ...
        {1002'200, 0, 1000, 'b', 1},   // ... and reused
        {1003'000, 'c', 1002, 'c', 0}, // a later step is a change
    };
    CoarseTimes fs;
    FileCache coarse(FileCache::kDefaultBudget, FileCache::kDefaultStreamThreshold, fs);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.nowMs);
        fs.now = step.nowMs * 1'000'000;
        fs.stamp = step.stamp;
        if (step.rewrite) {
            QFile file(QString::fromLocal8Bit(path("page.htm")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(QByteArray(4000, step.rewrite)), 4000);
        }
        struct stat seen {};
        ASSERT_TRUE(fs.stat(path("page.htm"), seen));
        ServedFile served;
        ASSERT_TRUE(coarse.serve(path("page.htm"), seen, served));
        EXPECT_EQ(served.body, QByteArray(4000, step.served));
        EXPECT_EQ(coarse.entryCount(), step.kept);
    }
    EXPECT_EQ(coarse.hits(), 1u);
}

TEST_F(FileCacheTest, PrimedSnapshotIsServedFromMemoryAtOnceButNeverStale)
{
    // Bytes the program has just renamed into place are kept though the
    // file is young; a different file there, or the wrong size, is not.
    const QByteArray snapshot = patternBytes(6000);
    web.write(QStringLiteral("images/cam.jpg"), snapshot);
    cache.prime(path("images/cam.jpg"), snapshot);
    EXPECT_EQ(serve("images/cam.jpg"), responseHeader("image/jpeg", 6000) + snapshot);
    EXPECT_EQ(cache.hits(), 1u);

    cache.prime(path("images/cam.jpg"), patternBytes(5999));
    EXPECT_EQ(cache.entryCount(), 1); // the true entry stays
    EXPECT_EQ(serve("images/cam.jpg"), responseHeader("image/jpeg", 6000) + snapshot);

    const QByteArray next(6000, 'n');
    web.write(QStringLiteral("images/next.tmp"), next);
    ASSERT_EQ(::rename(path("images/next.tmp").constData(), path("images/cam.jpg").constData()), 0);
    EXPECT_EQ(serve("images/cam.jpg"), responseHeader("image/jpeg", 6000) + next);
}

TEST_F(FileCacheTest, BudgetDropsLeastRecentlyUsedAndBigFilesStream)
{
    FileCache small(10000, 8000, clock);
    const std::vector<std::pair<const char*, int>> files = {{"one.bin", 4000}, {"two.bin", 4000},
                                                            {"three.bin", 4000}, {"big.bin", 9000}};
    for (const auto& [name, size] : files) {
        web.write(QString::fromLatin1(name), patternBytes(size));
        age(name);
    }
    const auto load = [&](const char* name) {
        struct stat info {};
        ServedFile file;
        EXPECT_TRUE(FileExists(path(name), info) && small.serve(path(name), info, file)) << name;
        return file;
    };
    load("one.bin");
    load("two.bin");
    load("one.bin"); // now the most recent
    load("three.bin");
    EXPECT_LE(small.heldBytes(), 10000);
    EXPECT_EQ(small.entryCount(), 2);
    const quint64 hits = small.hits();
    load("one.bin");
    EXPECT_EQ(small.hits(), hits + 1);
    load("two.bin");
    EXPECT_EQ(small.hits(), hits + 1); // it was the one dropped

    const ServedFile big = load("big.bin");
    EXPECT_TRUE(big.body.isEmpty());
    ASSERT_TRUE(big.stream);
    EXPECT_EQ(big.length, 9000);
    QByteArray read(9000, Qt::Uninitialized);
    EXPECT_TRUE(big.stream->readAt(0, read.data(), read.size()));
    EXPECT_EQ(read, patternBytes(9000));
}

TEST_F(FileCacheTest, CachedFileThatTurnsIntoDirectoryOrGoesGetsTheErrorPage)
{
    const QByteArray errorPage = "<html>error</html>\n";
    const QByteArray bytes = patternBytes(2000);
    for (const bool toDirectory : {false, true}) {
        web.write(QStringLiteral("x.gif"), bytes);
        age("x.gif");
        const quint64 hits = cache.hits();
        for (int i = 0; i < 2; ++i) {
            RecordingSlot slot("GET /x.gif HTTP/1.1\r\n\r\n");
            handleRequest(slot, web.root(), cache);
            ASSERT_EQ(slot.written, responseHeader("image/gif", 2000) + bytes);
        }
        ASSERT_EQ(cache.hits(), hits + 1);
        ASSERT_TRUE(QFile::remove(QString::fromLocal8Bit(path("x.gif"))));
        if (toDirectory) {
            ASSERT_TRUE(QDir(QString::fromLocal8Bit(web.root())).mkdir(QStringLiteral("x.gif")));
        }
        RecordingSlot slot("GET /x.gif HTTP/1.1\r\n\r\n");
        handleRequest(slot, web.root(), cache);
        EXPECT_EQ(slot.written, responseHeader("text/html", int32_t(errorPage.size())) + errorPage) << toDirectory;
        EXPECT_TRUE(slot.closed);
    }
}

} // namespace
