#include "FaultSupport.h"

#include <QLabel>

namespace {

// No byte may be written (0), or the file is cut after a few bytes (4).
class SettingsAtExit : public FaultWindow, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(SettingsAtExit, UnwritableFileLeavesTheOldOneAndTheProgramStillEnds)
{
    const QByteArray old = "50\r\n1\r\n\"False\"\r\n" + QByteArray::number(freePortRun(1)) + "\r\n";
    writeSettings(old);
    frmMain& w = loadWithCamera();
    ASSERT_EQ(w.state().quality, 50);
    w.state().quality = 65;
    w.state().keepTb = QStringLiteral("True");
    {
        FileSizeLimit limit(GetParam());
        ASSERT_TRUE(limit.ok());
        w.close();
    }
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(w.time->isActive());
    EXPECT_EQ(settingsBytes(), old);
    // Nothing half-written is left beside it.
    EXPECT_EQ(filesIn(QString()), QStringList{"Settings.ini"});

    // The window runs its unload once, however often it is closed.
    w.close();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(settingsBytes(), old);
}

INSTANTIATE_TEST_SUITE_P(Limits, SettingsAtExit, ::testing::Values(rlim_t(0), rlim_t(4)));

using SettingsPathFault = FaultWindow;

TEST_F(SettingsPathFault, DirectoryInThePlaceOfTheFileIsLeftAlone)
{
    ASSERT_TRUE(QDir(web.tempPath()).mkdir("Settings.ini"));
    frmMain& w = loadWithCamera();
    EXPECT_EQ(w.state().rate, 2); // nothing read: the fallbacks
    w.close();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(QFileInfo(web.tempPath() + "/Settings.ini").isDir());
    EXPECT_TRUE(filesIn(QString()).isEmpty());
}

} // namespace
