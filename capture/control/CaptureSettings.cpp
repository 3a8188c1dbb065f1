#include "capture/control/CaptureSettings.h"

#include "core/state/UserConfig.h"

namespace {

const QString sourceKey = QStringLiteral("Capture/Source");
const QString sizeKey = QStringLiteral("Capture/FrameSize");

} // namespace

namespace CaptureSettings {

QString sourceId()
{
    return userConfig().value(sourceKey).toString();
}

void setSourceId(const QString& id)
{
    userConfig().setValue(sourceKey, id);
}

QSize frameSize()
{
    return parseSize(userConfig().value(sizeKey).toString());
}

QSize parseSize(const QString& text)
{
    // Stored as "640x480" so the file stays readable and editable by hand.
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return {};
    bool okW = false;
    bool okH = false;
    const int w = parts[0].trimmed().toInt(&okW);
    const int h = parts[1].trimmed().toInt(&okH);
    if (!okW || !okH || w <= 0 || h <= 0)
        return {};
    return QSize(w, h);
}

void setFrameSize(const QSize& size)
{
    userConfig().setValue(sizeKey, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

} // namespace CaptureSettings
