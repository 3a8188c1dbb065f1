#include "image/PictureSettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(PictureSettingsTest, GoodValuesAreTakenAndEachBadOneIsNamedOnce)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("Talvex.conf")), QSettings::IniFormat);
    PictureOptions stored;
    stored.rotation = 270;
    stored.flipVertical = true;
    stored.captionOn = true;
    stored.caption = QStringLiteral("Hall %H:%M");
    stored.corner = PictureOptions::Corner::TopRight;
    stored.streamWidth = 640;
    PictureSettings::write(settings, stored);
    QStringList warnings;
    EXPECT_EQ(PictureSettings::read(settings, &warnings), stored);
    EXPECT_TRUE(warnings.isEmpty());

    const struct {
        const char* key;
        const char* value;
    } bad[] = {{"Rotate", "45"}, {"Rotate", "+90"}, {"Flip", "sideways"}, {"Caption", "maybe"},
               {"CaptionCorner", "middle"}, {"StreamWidth", "8"}, {"StreamWidth", "wide"}};
    for (const auto& row : bad) {
        settings.clear();
        settings.setValue(QStringLiteral("Picture/") + QLatin1String(row.key), QLatin1String(row.value));
        warnings.clear();
        EXPECT_EQ(PictureSettings::read(settings, &warnings), PictureOptions()) << row.key << "=" << row.value;
        ASSERT_EQ(warnings.size(), 1) << row.key << "=" << row.value;
        EXPECT_TRUE(warnings.first().contains(QLatin1String(row.key)));
        EXPECT_TRUE(warnings.first().contains(QLatin1String(row.value)));
    }
}
