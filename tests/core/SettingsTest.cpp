#include "core/Settings.h"
#include "core/SettingsReader.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>


namespace {

struct Fields {
    int16_t quality = 0;
    int16_t rate = 0;
    QString keepTb;
    int16_t cfgPort = 0;
};

class SettingsFile : public ::testing::Test {
protected:
    QByteArray fileBytes() const
    {
        QFile f(settingsPath(dir.path()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void writeRaw(const QByteArray& bytes) const
    {
        QFile f(settingsPath(dir.path()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Fields read(Fields start = {}) const
    {
        ReadSettings(dir.path(), start.quality, start.rate, start.keepTb, start.cfgPort);
        return start;
    }
    QTemporaryDir dir;
};

TEST_F(SettingsFile, WritesTheFourLinesByteForByte)
{
    ASSERT_TRUE(WriteSettings(dir.path(), 75, 2, "True", 0));
    EXPECT_EQ(fileBytes(), QByteArray("75\r\n2\r\n\"True\"\r\n0\r\n"));

    ASSERT_TRUE(WriteSettings(dir.path(), -5, 3, "False", -32768));
    EXPECT_EQ(fileBytes(), QByteArray("-5\r\n3\r\n\"False\"\r\n-32768\r\n"));
}

TEST_F(SettingsFile, ReadsBackWhatItWrote)
{
    ASSERT_TRUE(WriteSettings(dir.path(), 60, 4, "True", -7));
    const Fields f = read();
    EXPECT_EQ(f.quality, 60);
    EXPECT_EQ(f.rate, 4);
    EXPECT_EQ(f.keepTb, "True");  // without the quotation marks
    EXPECT_EQ(f.cfgPort, -7);
}

TEST_F(SettingsFile, MissingFileLeavesEveryField)
{
    const Fields f = read({11, 22, "x", 33});
    EXPECT_EQ(f.quality, 11);
    EXPECT_EQ(f.rate, 22);
    EXPECT_EQ(f.keepTb, "x");
    EXPECT_EQ(f.cfgPort, 33);
}

TEST_F(SettingsFile, ShortFileSetsOnlyWhatItHolds)
{
    writeRaw("50\r\n3\r\n");
    const Fields f = read({0, 0, "keep", 8080});
    EXPECT_EQ(f.quality, 50);
    EXPECT_EQ(f.rate, 3);
    EXPECT_EQ(f.keepTb, "keep");
    EXPECT_EQ(f.cfgPort, 8080);
}

TEST_F(SettingsFile, UnreadableValuesAreSkippedAndTheRestStillRead)
{
    writeRaw("abc\r\n40000\r\n\"0\"\r\n8080\r\n");
    const Fields f = read({1, 2, "", 0});
    EXPECT_EQ(f.quality, 1);  // not a number
    EXPECT_EQ(f.rate, 2);     // does not fit 16 bits
    EXPECT_EQ(f.keepTb, "0");
    EXPECT_EQ(f.cfgPort, 8080);
}

TEST_F(SettingsFile, ReadsOtherSpellingsOfTheSameFields)
{
    writeRaw("  85, 5\n\"False\" trailing\n  -1");
    const Fields f = read();
    EXPECT_EQ(f.quality, 85);
    EXPECT_EQ(f.rate, 5);
    EXPECT_EQ(f.keepTb, "False");
    EXPECT_EQ(f.cfgPort, -1);
}

TEST_F(SettingsFile, ReplacingLeavesOnlyTheSettingsFile)
{
    writeRaw("garbage that is longer than the new content\r\n");
    ASSERT_TRUE(WriteSettings(dir.path(), 70, 2, "True", 0));
    EXPECT_EQ(fileBytes(), QByteArray("70\r\n2\r\n\"True\"\r\n0\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Settings.ini"});
}

TEST_F(SettingsFile, WriteIntoMissingDirectoryFailsQuietly)
{
    EXPECT_FALSE(WriteSettings(dir.path() + "/no/such/dir", 75, 2, "True", 0));
}

// Runs `write` as a user without root's right to write anywhere: in a child
// process that drops to "nobody" when the tests run as root. Its result.
bool asOrdinaryUser(const std::function<bool()>& write)
{
    if (::geteuid() != 0)
        return write();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && write() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SettingsFile, WritableFileInAFolderThatIsNotIsStillSaved)
{
    writeRaw("50\r\n1\r\n\"False\"\r\n0\r\n");
    const QString file = settingsPath(dir.path());
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther));
    // No new file can be made beside it, so there is no temporary file to rename.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));

    EXPECT_TRUE(asOrdinaryUser([this] { return WriteSettings(dir.path(), 65, 3, "True", 8080); }));

    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(fileBytes(), QByteArray("65\r\n3\r\n\"True\"\r\n8080\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Settings.ini"});
}

struct ParseCase {
    const char* text;
    std::optional<int16_t> expected;
};

class ParseInt16 : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseInt16, ReadsDecimalNumbersThatFit)
{
    EXPECT_EQ(parseInt16(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Fields, ParseInt16,
    ::testing::Values(ParseCase{"0", 0}, ParseCase{"75", 75}, ParseCase{"-12", -12},
                      ParseCase{"+5", 5}, ParseCase{"32767", 32767}, ParseCase{"-32768", -32768},
                      ParseCase{"32768", std::nullopt}, ParseCase{"-32769", std::nullopt},
                      ParseCase{"2.5", 2}, ParseCase{"3.5", 4}, ParseCase{"", std::nullopt},
                      ParseCase{"-", std::nullopt}, ParseCase{"1e3", std::nullopt},
                      ParseCase{"12a", std::nullopt}, ParseCase{"99999999999999999999", std::nullopt}));

}  // namespace
