#include "capture/v4l2/CameraIdentity.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kCardPrefix = QStringLiteral("v4l2:");

QString linkFolder(const QString& directory)
{
    return QDir(directory).filePath(QStringLiteral("v4l"));
}

// The udev link in by-id/ (else by-path/) that leads to `node`.
QString linkTo(const QString& node, const QString& directory)
{
    const QString target = QFileInfo(node).canonicalFilePath();
    if (target.isEmpty())
        return {};
    for (const char* kind : {"by-id", "by-path"}) {
        const QDir links(QDir(linkFolder(directory)).filePath(QLatin1String(kind)));
        // Links to device nodes are "system" entries to QDir.
        const QFileInfoList entries = links.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                                          QDir::Name);
        for (const QFileInfo& link : entries)
            if (link.isSymLink() && link.canonicalFilePath() == target)
                return link.absoluteFilePath();
    }
    return {};
}

bool sameNode(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString cameraIdentity(const VideoDeviceInfo& device, const QString& directory)
{
    if (const QString link = linkTo(device.path, directory); !link.isEmpty())
        return link;
    if (!device.cardName.isEmpty())
        return kCardPrefix + device.cardName + QLatin1Char('@') + device.busInfo;
    return device.path;
}

int findCamera(const QString& identity, const QList<VideoDeviceInfo>& devices, const QString& directory)
{
    if (identity.isEmpty())
        return -1;
    for (qsizetype i = 0; i < devices.size(); ++i)
        if (devices[i].canCapture && cameraIdentity(devices[i], directory) == identity)
            return int(i);
    // A by-path link remembered before udev made a by-id one, or an old
    // configuration's node: whatever device the path leads to now.
    for (qsizetype i = 0; i < devices.size(); ++i)
        if (devices[i].canCapture && sameNode(identity, devices[i].path))
            return int(i);
    if (!identity.startsWith(kCardPrefix))
        return -1;
    // Moved to another port, its bus changed: the card alone, when no other
    // camera could be meant.
    const QString card = identity.mid(kCardPrefix.size(), identity.lastIndexOf(QLatin1Char('@')) - kCardPrefix.size());
    int found = -1;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (!devices[i].canCapture || devices[i].cardName != card)
            continue;
        if (found >= 0)
            return -1;
        found = int(i);
    }
    return found;
}
