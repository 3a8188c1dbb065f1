#include "image/PictureOptions.h"

#include <array>

namespace {

const std::array<const char*, 4> kCorners = {"top-left", "top-right", "bottom-left", "bottom-right"};

template <typename T>
std::optional<T> refused(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

std::optional<int> parseRotation(const QString& text, QString* error)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    const int degrees = trimmed.toInt(&ok);
    if (!ok || trimmed.startsWith(QLatin1Char('+')) || (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270))
        return refused<int>(error, QStringLiteral("rotation '%1' is not 0, 90, 180 or 270").arg(text));
    return degrees;
}

bool parseFlip(const QString& text, PictureOptions& options, QString* error)
{
    const QString word = text.trimmed().toLower();
    const bool horizontal = word == QLatin1String("horizontal") || word == QLatin1String("both");
    const bool vertical = word == QLatin1String("vertical") || word == QLatin1String("both");
    if (!horizontal && !vertical && word != QLatin1String("none")) {
        if (error)
            *error = QStringLiteral("flip '%1' is not none, horizontal, vertical or both").arg(text);
        return false;
    }
    options.flipHorizontal = horizontal;
    options.flipVertical = vertical;
    return true;
}

std::optional<PictureOptions::Corner> parseCorner(const QString& text, QString* error)
{
    const QString word = text.trimmed().toLower();
    for (std::size_t i = 0; i < kCorners.size(); ++i) {
        if (word == QLatin1String(kCorners[i]))
            return static_cast<PictureOptions::Corner>(i);
    }
    return refused<PictureOptions::Corner>(
        error, QStringLiteral("corner '%1' is not top-left, top-right, bottom-left or bottom-right").arg(text));
}

std::optional<int> parseStreamWidth(const QString& text, QString* error)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    const int width = trimmed.toInt(&ok);
    if (!ok || trimmed.startsWith(QLatin1Char('+')) || (width != 0 && (width < 16 || width > 7680)))
        return refused<int>(error, QStringLiteral("stream width '%1' is not 0 or 16 to 7680").arg(text));
    return width;
}

QString flipText(const PictureOptions& options)
{
    if (options.flipHorizontal && options.flipVertical)
        return QStringLiteral("both");
    if (options.flipHorizontal)
        return QStringLiteral("horizontal");
    return options.flipVertical ? QStringLiteral("vertical") : QStringLiteral("none");
}

QString cornerText(PictureOptions::Corner corner)
{
    return QLatin1String(kCorners.at(static_cast<std::size_t>(corner)));
}
