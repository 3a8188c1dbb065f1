#include "SocketFakes.h"
#include "support/EventLoop.h"
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

class FileCacheTest : public testing::Test {
protected:
    QByteArray path(const char* name) const { return web.root() + name; }

    // Sets the modification time an hour back and waits until the change
    // time (which that sets to now) is old enough for the file to be kept.
    void age(const char* name) const
    {
        timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path(name).constData(), times, 0), 0);
        settle(name);
    }

    void settle(const char* name) const
    {
        struct stat info {};
        ASSERT_EQ(::stat(path(name).constData(), &info), 0);
        ASSERT_TRUE(pumpUntil([&] {
            timespec now {};
            ::clock_gettime(CLOCK_REALTIME, &now);
            const double age = double(now.tv_sec - info.st_ctim.tv_sec) + 1e-9 * double(now.tv_nsec - info.st_ctim.tv_nsec);
            return age > 0.1;
        }));
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
    FileCache cache;
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
    settle("images/next.tmp");
    ASSERT_NE(serve("images/cam.jpg"), "missing");
    ASSERT_EQ(cache.hits(), 1u); // kept, so only the inode tells the files apart
    ASSERT_EQ(::rename(path("images/next.tmp").constData(), path("images/cam.jpg").constData()), 0);
    EXPECT_EQ(serve("images/cam.jpg"), responseHeader("image/jpeg", 5000) + next);
}

TEST_F(FileCacheTest, RewriteWithinOneTimestampTickIsServedFresh)
{
    // On a kernel with coarse file times, a rewrite in the same tick leaves
    // size and every time as they were: stat gives what it gave before.
    web.write(QStringLiteral("page.htm"), QByteArray(4000, 'a'));
    struct stat before {};
    ASSERT_TRUE(FileExists(path("page.htm"), before));
    ServedFile first;
    ASSERT_TRUE(cache.serve(path("page.htm"), before, first));
    EXPECT_EQ(first.body, QByteArray(4000, 'a'));
    QFile file(QString::fromLocal8Bit(path("page.htm")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(QByteArray(4000, 'b')), 4000);
    file.close();
    ServedFile second;
    ASSERT_TRUE(cache.serve(path("page.htm"), before, second));
    EXPECT_EQ(second.body, QByteArray(4000, 'b'));
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
    FileCache small(10000, 8000);
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
