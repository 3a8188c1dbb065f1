#include "capture/control/CameraSettings.h"

#include "capture/control/CaptureSettings.h"
#include "core/state/UserConfig.h"

namespace {

const QString kControlPrefix = QStringLiteral("Control");
const QString kName = QStringLiteral("Name");
const QString kFrameSize = QStringLiteral("FrameSize");

// Letters, digits, '_' and '-' stay; every other byte becomes ".XX", so
// "/dev/v4l/by-id/usb-Cam-video-index0" stays readable and holds no '/'.
QString encodeId(const QString& id)
{
    QString encoded;
    for (const char byte : id.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
            encoded += QLatin1Char(char(c));
        else
            encoded += QStringLiteral(".%1").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    return encoded;
}

QString controlKey(quint32 control)
{
    return kControlPrefix + QStringLiteral("%1").arg(control, 8, 16, QLatin1Char('0'));
}

QString key(const QString& id, const QString& name)
{
    return CameraSettings::groupName(id) + QLatin1Char('/') + name;
}

} // namespace

namespace CameraSettings {

QString groupName(const QString& id)
{
    return QStringLiteral("Camera ") + encodeId(id);
}

QString name(const QString& id)
{
    return userConfig().value(key(id, kName)).toString();
}

void setName(const QString& id, const QString& name)
{
    if (CameraSettings::name(id) != name)
        userConfig().setValue(key(id, kName), name);
}

QMap<quint32, int> controls(const QString& id)
{
    QSettings config = userConfig();
    config.beginGroup(groupName(id));
    QMap<quint32, int> values;
    for (const QString& name : config.childKeys()) {
        if (!name.startsWith(kControlPrefix))
            continue;
        bool okId = false;
        bool okValue = false;
        const quint32 control = name.mid(kControlPrefix.size()).toUInt(&okId, 16);
        const int value = config.value(name).toString().trimmed().toInt(&okValue);
        if (okId && okValue)
            values.insert(control, value);
    }
    return values;
}

void setControl(const QString& id, quint32 control, int value)
{
    userConfig().setValue(key(id, controlKey(control)), value);
}

void dropControl(const QString& id, quint32 control)
{
    userConfig().remove(key(id, controlKey(control)));
}

void clearControls(const QString& id)
{
    QSettings config = userConfig();
    config.beginGroup(groupName(id));
    for (const QString& name : config.childKeys())
        if (name.startsWith(kControlPrefix))
            config.remove(name);
}

QSize frameSize(const QString& id)
{
    const QSize own = CaptureSettings::parseSize(userConfig().value(key(id, kFrameSize)).toString());
    return own.isValid() ? own : CaptureSettings::frameSize();
}

void setFrameSize(const QString& id, const QSize& size)
{
    userConfig().setValue(key(id, kFrameSize), QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

} // namespace CameraSettings
