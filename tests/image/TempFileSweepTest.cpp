#include "image/TempFileSweep.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pid that belonged to a process which has ended.
long deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

TEST(TempFileSweep, RemovesOnlyTheReplaceLeftoversOfDeadProcesses)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString dead = QString::number(deadPid());
    const QString alive = QString::number(::getppid());
    const struct {
        QString name;
        bool removed;
    } rows[] = {
        {".VelmarixCamImage.jpg.tmp" + dead + "_0", true},
        {".VelmarixCamImage_tb.jpg.tmp" + dead + "_17", true},
        {".VelmarixCamImage.jpg.tmp" + alive + "_3", false},                   // its owner may still rename it
        {".VelmarixCamImage.jpg.tmp" + QString::number(::getpid()) + "_1", false}, // ours
        {"VelmarixCamImage.jpg", false},
        {"VelmarixCamImage.jpg.tmp" + dead + "_0", false},                   // not hidden: not our naming
        {".VelmarixCamImage.jpg.tmp" + dead, false},
        {".VelmarixCamImage.jpg.tmp_0", false},
        {".keep", false},
    };
    for (const auto& row : rows)
        touch(dir.filePath(row.name));

    const QStringList removed = removeLeftoverTempFiles(dir.path());

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(QFile::exists(dir.filePath(row.name)), !row.removed);
        EXPECT_EQ(removed.contains(row.name), row.removed);
    }
}

TEST(TempFileSweep, MissingFolderRemovesNothing)
{
    EXPECT_TRUE(removeLeftoverTempFiles("/nonexistent/talvex/images").isEmpty());
}

} // namespace
