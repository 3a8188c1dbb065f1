#pragma once

#include "capture/source/VideoSource.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// One entry of the source dialog's list.
struct SourceChoice {
    QString id;   // what the configuration remembers: it stays when the node moves
    QString name; // shown to the user
    QString node; // where it is now ("/dev/video2"); empty for the test pattern
    bool operator==(const SourceChoice&) const = default;
};

// What sources exist now and how to make one. The capture control asks it on
// start and whenever the source dialog opens; tests hand in their own.
class SourceCatalog {
public:
    virtual ~SourceCatalog() = default;

    // Capture devices present now, then the test pattern (always last).
    virtual QList<SourceChoice> choices() const = 0;
    // A closed source for `id`, or null when the id means nothing here now
    // (a camera that is not plugged in).
    virtual std::unique_ptr<VideoSource> create(const QString& id) const = 0;
    // The choice present now that `id` names: the same id, else one whose
    // node is `id` (configurations that remembered a node). Catalogs that
    // know more ways to recognise a device add them.
    virtual std::optional<SourceChoice> find(const QString& id) const;

    // Nothing chosen yet: the first capture device, or the test pattern when there is none.
    QString defaultId() const;
    bool offers(const QString& id) const;
};

// Only the test pattern: for runs that must not depend on what cameras the
// machine has (benchmarks, load runs, tests).
std::unique_ptr<SourceCatalog> createTestPatternCatalog();
