#include "core/Settings.h"
#include "core/SettingsReader.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
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
    bool operator==(const Fields&) const = default;
};

void PrintTo(const Fields& f, std::ostream* out)
{
    *out << f.quality << "/" << f.rate << "/" << f.keepTb.toStdString() << "/" << f.cfgPort;
}

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
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir dir;
};

TEST_F(SettingsFile, WritesTheFourLinesByteForByteOverAnyOldContent)
{
    writeRaw("garbage that is longer than the new content\r\n");
    ASSERT_TRUE(WriteSettings(dir.path(), 75, 2, "True", 0));
    EXPECT_EQ(fileBytes(), QByteArray("75\r\n2\r\n\"True\"\r\n0\r\n"));
    ASSERT_TRUE(WriteSettings(dir.path(), -5, 3, "False", -32768));
    EXPECT_EQ(fileBytes(), QByteArray("-5\r\n3\r\n\"False\"\r\n-32768\r\n"));
    EXPECT_EQ(files(), QStringList{"Settings.ini"});
    EXPECT_FALSE(WriteSettings(dir.path() + "/no/such/dir", 75, 2, "True", 0));
}

// No byte may be written (0), or the file is cut after a few bytes (4): the
// old file stays whole and nothing half-written is left beside it.
TEST_F(SettingsFile, FullDiskLeavesTheOldFile)
{
    const QByteArray old = "50\r\n1\r\n\"False\"\r\n8080\r\n";
    for (const rlim_t limit : {rlim_t(0), rlim_t(4)}) {
        writeRaw(old);
        {
            FileSizeLimit full(limit);
            ASSERT_TRUE(full.ok());
            EXPECT_FALSE(WriteSettings(dir.path(), 65, 2, "True", 0)) << limit;
        }
        EXPECT_EQ(fileBytes(), old) << limit;
        EXPECT_EQ(files(), QStringList{"Settings.ini"}) << limit;
    }
}

struct ReadCase {
    const char* name;
    const char* file; // nullptr: no file at all
    Fields start;     // what the fields held before
    Fields expected;
};

class SettingsRead : public SettingsFile, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsRead, SetsWhatTheFileHoldsAndLeavesTheRest)
{
    const ReadCase& c = GetParam();
    if (c.file)
        writeRaw(c.file);
    Fields f = c.start;
    ReadSettings(dir.path(), f.quality, f.rate, f.keepTb, f.cfgPort);
    EXPECT_EQ(f, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsRead,
    ::testing::Values(
        ReadCase{"AsWritten", "60\r\n4\r\n\"True\"\r\n-7\r\n", {}, {60, 4, "True", -7}},
        ReadCase{"Missing", nullptr, {11, 22, "x", 33}, {11, 22, "x", 33}},
        ReadCase{"Short", "50\r\n3\r\n", {0, 0, "keep", 8080}, {50, 3, "keep", 8080}},
        // not a number, then one that does not fit 16 bits: skipped, the rest read
        ReadCase{"Unreadable", "abc\r\n40000\r\n\"0\"\r\n8080\r\n", {1, 2, "", 0}, {1, 2, "0", 8080}},
        ReadCase{"OtherSpellings", "  85, 5\n\"False\" trailing\n  -1", {}, {85, 5, "False", -1}}),
    [](const auto& info) { return std::string(info.param.name); });

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
