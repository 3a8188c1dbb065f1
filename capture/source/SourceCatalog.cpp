#include "capture/source/SourceCatalog.h"

#include "capture/source/TestPatternSource.h"

#include <algorithm>

QString SourceCatalog::defaultId() const
{
    const QList<SourceChoice> all = choices();
    return all.isEmpty() ? TestPatternSource::sourceId() : all.first().id;
}

bool SourceCatalog::offers(const QString& id) const
{
    const QList<SourceChoice> all = choices();
    return std::any_of(all.begin(), all.end(), [&](const SourceChoice& c) { return c.id == id; });
}

std::optional<SourceChoice> SourceCatalog::find(const QString& id) const
{
    const QList<SourceChoice> all = choices();
    for (const SourceChoice& c : all)
        if (c.id == id)
            return c;
    for (const SourceChoice& c : all)
        if (!c.node.isEmpty() && c.node == id)
            return c;
    return std::nullopt;
}

namespace {

class TestPatternCatalog : public SourceCatalog {
public:
    QList<SourceChoice> choices() const override
    {
        return {{TestPatternSource::sourceId(), TestPatternSource::sourceName(), {}}};
    }
    std::unique_ptr<VideoSource> create(const QString& id) const override
    {
        if (id != TestPatternSource::sourceId())
            return nullptr;
        return std::make_unique<TestPatternSource>();
    }
};

} // namespace

std::unique_ptr<SourceCatalog> createTestPatternCatalog()
{
    return std::make_unique<TestPatternCatalog>();
}
