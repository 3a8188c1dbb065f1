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
