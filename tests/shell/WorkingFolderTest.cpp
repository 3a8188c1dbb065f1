#include "shell/WorkingFolder.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QTemporaryDir m_dir;
};

TEST_F(WorkingFolderTest, ChoosesTheProgramFolderOnlyWhereItIsAPortableOne)
{
    // A build or a copied folder: the web root beside the program.
    ASSERT_TRUE(QDir().mkpath(path("portable/root")));
    // Installed: bin/ and share/talvex/root, no web root beside the program.
    ASSERT_TRUE(QDir().mkpath(path("prefix/bin")));
    ASSERT_TRUE(QDir().mkpath(path("prefix/share/talvex/root/images")));
    ASSERT_TRUE(QDir().mkpath(path("bare")));
    const QString home = path("data/Talvex");

    const struct {
        const char* name;
        QString executableDir;
        QString expected;
    } rows[] = {
        {"portable", path("portable"), path("portable")},
        {"installed", path("prefix/bin"), home},
        {"lone program, nothing installed", path("bare"), path("bare")},
        {"program folder missing", path("nowhere"), home},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString sample = WorkingFolder::installedSampleRoot(row.executableDir);
        EXPECT_EQ(WorkingFolder::choose(row.executableDir, sample, home), row.expected);
    }
    EXPECT_EQ(WorkingFolder::installedSampleRoot(path("prefix/bin")), path("prefix/share/talvex/root"));
    EXPECT_EQ(WorkingFolder::installedSampleRoot(path("portable")), "");
}

TEST_F(WorkingFolderTest, FirstStartCopiesTheSampleRootAndLaterStartsKeepTheUsersFiles)
{
    const QString sample = path("share/talvex/root");
    ASSERT_TRUE(writeFile(sample + "/player.html", "<html>player</html>"));
    ASSERT_TRUE(writeFile(sample + "/images/.keep", "placeholder"));
    ASSERT_TRUE(writeFile(sample + "/sub/page.htm", "page"));
    ASSERT_TRUE(QFile::setPermissions(sample + "/player.html", QFile::ReadOwner | QFile::ReadOther));
    const QString folder = path("data/Talvex");

    QString reason = "unset";
    ASSERT_TRUE(WorkingFolder::prepare(folder, sample, &reason));
    EXPECT_EQ(reason, "");
    EXPECT_EQ(readFile(folder + "/root/player.html"), "<html>player</html>");
    EXPECT_EQ(readFile(folder + "/root/sub/page.htm"), "page");
    EXPECT_TRUE(QFileInfo(folder + "/root/images/.keep").isFile());
    EXPECT_TRUE(QFile::permissions(folder + "/root/player.html") & QFile::WriteOwner) << "the user may edit it";

    // The user's own page stays; a removed images/ comes back.
    ASSERT_TRUE(writeFile(folder + "/root/player.html", "mine"));
    ASSERT_TRUE(QDir(folder + "/root/images").removeRecursively());
    ASSERT_TRUE(WorkingFolder::prepare(folder, sample, &reason));
    EXPECT_EQ(readFile(folder + "/root/player.html"), "mine");
    EXPECT_TRUE(QFileInfo(folder + "/root/images").isDir());
}

// A portable folder copied somewhere read-only: its settings and pages
// move into the user's folder once; what the user has there is never replaced.
TEST_F(WorkingFolderTest, AReadOnlyProgramFoldersSettingsAndRootAreTakenOnce)
{
    const QString program = path("readonly");
    ASSERT_TRUE(writeFile(program + "/Settings.ini", "80\n5\n\n8123\n"));
    ASSERT_TRUE(writeFile(program + "/root/index.html", "portable page"));
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(program + "/root", readOnly));
    ASSERT_TRUE(QFile::setPermissions(program, readOnly));
    const QString folder = path("data/Talvex");

    QString reason = "unset";
    EXPECT_EQ(WorkingFolder::adoptProgramFiles(program, folder, &reason), QStringList({"Settings.ini", "root/"}));
    EXPECT_EQ(reason, "");
    ASSERT_TRUE(WorkingFolder::prepare(folder, QString(), &reason));
    EXPECT_EQ(readFile(folder + "/Settings.ini"), "80\n5\n\n8123\n");
    EXPECT_EQ(readFile(folder + "/root/index.html"), "portable page");
    EXPECT_TRUE(QFileInfo(folder + "/root/images").isDir());
    EXPECT_TRUE(QFile::permissions(folder + "/root/index.html") & QFile::WriteOwner);

    // Later starts: the user's changes stay, nothing is said again.
    ASSERT_TRUE(writeFile(folder + "/Settings.ini", "75\n2\n\n9000\n"));
    ASSERT_TRUE(writeFile(folder + "/root/index.html", "mine"));
    EXPECT_EQ(WorkingFolder::adoptProgramFiles(program, folder, &reason), QStringList());
    EXPECT_EQ(readFile(folder + "/Settings.ini"), "75\n2\n\n9000\n");
    EXPECT_EQ(readFile(folder + "/root/index.html"), "mine");
    // The program's own folder is never copied onto itself.
    EXPECT_EQ(WorkingFolder::adoptProgramFiles(program, program, &reason), QStringList());
    QFile::setPermissions(program, readOnly | QFile::WriteOwner);
}

TEST_F(WorkingFolderTest, AFolderThatCannotBeMadeIsReported)
{
    ASSERT_TRUE(writeFile(path("file"), "x"));
    QString reason;
    EXPECT_FALSE(WorkingFolder::prepare(path("file/Talvex"), QString(), &reason));
    EXPECT_EQ(reason, "cannot create " + path("file/Talvex"));
}

} // namespace
