#include "MainWindowFixture.h"

#include "core/state/UserConfig.h"
#include "image/PictureApply.h"
#include "image/PictureOptions.h"

namespace {

class ReloadTest : public MainWindowFixture {
protected:
    ReloadTest() { userConfigFile() = web.tempPath() + QStringLiteral("/Talvex.conf"); }
    ~ReloadTest() override
    {
        pictureSlot().setOptions({});
        userConfigFile().clear();
    }
};

// A reload applies what changed in Talvex.conf, says so, and keeps this
// run's own flags over the file; a second reload with nothing new says nothing.
TEST_F(ReloadTest, AppliesWhatChangedAndKeepsTheRunsFlagsOverTheFile)
{
    pictureFlags = [](PictureOptions& options) { options.flipHorizontal = true; };
    frmMain& main = load();
    userConfig().setValue(QStringLiteral("Stream/MaxClients"), 7);
    userConfig().setValue(QStringLiteral("Stream/MaxFps"), 12);
    userConfig().setValue(QStringLiteral("Picture/Rotate"), 90);
    userConfig().setValue(QStringLiteral("Picture/Flip"), QStringLiteral("vertical"));
    userConfig().sync();

    EXPECT_EQ(main.reloadConfiguration(),
              (QStringList{"stream MaxClients 7", "stream MaxFps 12", "picture"}));
    EXPECT_EQ(main.streamServer().limits().maxClients, 7);
    EXPECT_EQ(main.streamEncoder().maxFps(), 12);
    const PictureOptions picture = *pictureSlot().options();
    EXPECT_EQ(picture.rotation, 90);
    EXPECT_TRUE(picture.flipVertical);
    EXPECT_TRUE(picture.flipHorizontal) << "the run's --flip stays over the file";
    EXPECT_TRUE(main.reloadConfiguration().isEmpty());
}

} // namespace
