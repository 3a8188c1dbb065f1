#include "capture/v4l2/SystemSourceCatalog.h"

#include "capture/source/TestPatternSource.h"
#include "capture/v4l2/V4l2Source.h"

namespace {

class SystemSourceCatalog : public SourceCatalog {
public:
    QList<SourceChoice> choices() const override
    {
        QList<SourceChoice> all;
        for (const VideoDeviceInfo& device : findVideoDevices()) {
            if (device.canCapture)
                all.append({device.path, device.cardName.isEmpty() ? device.path : device.cardName});
        }
        all.append({TestPatternSource::sourceId(), TestPatternSource::sourceName()});
        return all;
    }

    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        if (id == TestPatternSource::sourceId())
            return std::make_unique<TestPatternSource>();
        if (id.startsWith(QLatin1String("/dev/")))
            return std::make_unique<V4l2Source>(id);
        return nullptr;
    }
};

} // namespace

std::unique_ptr<SourceCatalog> createSystemSourceCatalog()
{
    return std::make_unique<SystemSourceCatalog>();
}
