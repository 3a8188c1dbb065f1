#include "capture/v4l2/SystemSourceCatalog.h"

#include "capture/source/TestPatternSource.h"
#include "capture/v4l2/CameraIdentity.h"
#include "capture/v4l2/V4l2Device.h"
#include "capture/v4l2/V4l2Source.h"

namespace {

class SystemSourceCatalog : public SourceCatalog {
public:
    SystemSourceCatalog(VideoDeviceFactory makeDevice, QString directory)
        : m_makeDevice(std::move(makeDevice)), m_directory(std::move(directory))
    {
    }

    QList<SourceChoice> choices() const override
    {
        QList<SourceChoice> all;
        for (const VideoDeviceInfo& device : devices())
            if (device.canCapture)
                all.append(choiceFor(device));
        all.append(testPattern());
        return all;
    }

    std::optional<SourceChoice> find(const QString& id) const override
    {
        if (id == TestPatternSource::sourceId())
            return testPattern();
        const QList<VideoDeviceInfo> present = devices();
        const int index = findCamera(id, present, m_directory);
        if (index < 0)
            return std::nullopt;
        return choiceFor(present[index]);
    }

    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        if (id == TestPatternSource::sourceId())
            return std::make_unique<TestPatternSource>();
        const std::optional<SourceChoice> found = find(id);
        if (!found)
            return nullptr;
        // Through the udev link when it is the identity, so that the
        // source's own reopen follows the camera to its new node.
        const QString path = found->id.startsWith(m_directory + QStringLiteral("/v4l/")) ? found->id : found->node;
        return std::make_unique<V4l2Source>(path, m_makeDevice());
    }

private:
    QList<VideoDeviceInfo> devices() const
    {
        const std::unique_ptr<VideoDevice> device = m_makeDevice();
        return findVideoDevices(*device, m_directory);
    }

    SourceChoice choiceFor(const VideoDeviceInfo& device) const
    {
        return {cameraIdentity(device, m_directory), device.cardName.isEmpty() ? device.path : device.cardName,
                device.path};
    }

    static SourceChoice testPattern() { return {TestPatternSource::sourceId(), TestPatternSource::sourceName(), {}}; }

    VideoDeviceFactory m_makeDevice;
    QString m_directory;
};

} // namespace

std::unique_ptr<SourceCatalog> createSystemSourceCatalog()
{
    return createSystemSourceCatalog([] { return std::make_unique<V4l2Device>(); }, QStringLiteral("/dev"));
}

std::unique_ptr<SourceCatalog> createSystemSourceCatalog(VideoDeviceFactory makeDevice, const QString& directory)
{
    return std::make_unique<SystemSourceCatalog>(std::move(makeDevice), directory);
}
