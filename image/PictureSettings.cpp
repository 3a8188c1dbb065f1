#include "image/PictureSettings.h"

#include "core/state/UserConfig.h"

#include <QSettings>

namespace {

void warn(QStringList* warnings, const QString& key, const QString& reason)
{
    if (warnings)
        warnings->append(QStringLiteral("[Picture] %1 ignored: %2").arg(key, reason));
}

std::optional<bool> parseSwitch(const QString& text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1") || word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("0") || word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

} // namespace

namespace PictureSettings {

PictureOptions read(QSettings& settings, QStringList* warnings)
{
    PictureOptions options;
    settings.beginGroup(QStringLiteral("Picture"));
    QString why;
    const auto text = [&](const char* key) { return settings.value(QLatin1String(key)).toString(); };
    if (settings.contains(QStringLiteral("Rotate"))) {
        if (const auto rotation = parseRotation(text("Rotate"), &why))
            options.rotation = *rotation;
        else
            warn(warnings, QStringLiteral("Rotate"), why);
    }
    if (settings.contains(QStringLiteral("Flip")) && !parseFlip(text("Flip"), options, &why))
        warn(warnings, QStringLiteral("Flip"), why);
    if (settings.contains(QStringLiteral("Caption"))) {
        if (const auto on = parseSwitch(text("Caption")))
            options.captionOn = *on;
        else
            warn(warnings, QStringLiteral("Caption"), QStringLiteral("'%1' is not true or false").arg(text("Caption")));
    }
    if (settings.contains(QStringLiteral("CaptionText")))
        options.caption = text("CaptionText");
    if (settings.contains(QStringLiteral("CaptionCorner"))) {
        if (const auto corner = parseCorner(text("CaptionCorner"), &why))
            options.corner = *corner;
        else
            warn(warnings, QStringLiteral("CaptionCorner"), why);
    }
    if (settings.contains(QStringLiteral("StreamWidth"))) {
        if (const auto width = parseStreamWidth(text("StreamWidth"), &why))
            options.streamWidth = *width;
        else
            warn(warnings, QStringLiteral("StreamWidth"), why);
    }
    settings.endGroup();
    return options;
}

void write(QSettings& settings, const PictureOptions& options)
{
    settings.beginGroup(QStringLiteral("Picture"));
    settings.setValue(QStringLiteral("Rotate"), options.rotation);
    settings.setValue(QStringLiteral("Flip"), flipText(options));
    settings.setValue(QStringLiteral("Caption"), options.captionOn);
    settings.setValue(QStringLiteral("CaptionText"), options.caption);
    settings.setValue(QStringLiteral("CaptionCorner"), cornerText(options.corner));
    settings.setValue(QStringLiteral("StreamWidth"), options.streamWidth);
    settings.endGroup();
}

PictureOptions load()
{
    QSettings settings = userConfig();
    QStringList warnings;
    const PictureOptions options = read(settings, &warnings);
    for (const QString& warning : warnings)
        qWarning("Talvex: %s", qPrintable(warning));
    return options;
}

void save(const PictureOptions& options)
{
    QSettings settings = userConfig();
    write(settings, options);
}

} // namespace PictureSettings
