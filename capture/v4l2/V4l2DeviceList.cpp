#include "capture/v4l2/V4l2Capabilities.h"
#include "capture/v4l2/V4l2Device.h"
#include "capture/v4l2/V4l2Source.h"
#include "capture/v4l2/VideoDeviceHandles.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

QList<VideoDeviceInfo> findVideoDevices(VideoDevice& device, const QString& directory)
{
    static const QRegularExpression nodeName(QStringLiteral("^video(\\d{1,9})$"));
    // Device nodes are neither files nor directories to QDir: ask for System.
    const QStringList names = QDir(directory).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);

    QList<std::pair<int, QString>> numbered;
    for (const QString& name : names) {
        const QRegularExpressionMatch match = nodeName.match(name);
        if (match.hasMatch())
            numbered.append({match.captured(1).toInt(), name});
    }
    std::sort(numbered.begin(), numbered.end());

    QList<VideoDeviceInfo> devices;
    for (const auto& [number, name] : numbered) {
        VideoDeviceInfo info{QDir(directory).filePath(name), QString(), false, QString()};
        const int fd = device.open(info.path);
        if (fd >= 0) {
            DeviceFd owner(&device, fd);
            V4l2Capabilities capabilities;
            if (queryCapabilities(device, fd, &capabilities) == 0) {
                info.cardName = capabilities.cardName;
                info.canCapture = capabilities.canCapture();
                info.busInfo = capabilities.busInfo;
            }
        }
        devices.append(info);
    }
    return devices;
}

QList<VideoDeviceInfo> findVideoDevices()
{
    V4l2Device device;
    return findVideoDevices(device, QStringLiteral("/dev"));
}
