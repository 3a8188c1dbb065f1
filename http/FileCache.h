#pragma once

#include "http/OpenFile.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <list>
#include <memory>

struct stat;

// A file ready to send: its header and either its bytes or, for a file too
// big to hold, the open file to send from disk.
struct ServedFile {
    QByteArray header;
    QByteArray body;
    std::shared_ptr<OpenFile> stream;
    int32_t length = 0;
};

// The bytes of served files, kept between requests and shared (implicitly)
// by every connection that sends them. An entry is reused while stat still
// gives the same device, inode, size, modification and change time. A file
// whose times were not yet older than the coarsest timestamp step (2 s, as
// on FAT) when it was read is read afresh at every request until they are:
// a rewrite within the same step leaves size and every time as they were.
// Least recently used entries go first when the budget is full.
class FileCache {
public:
    static constexpr qint64 kDefaultBudget = 64 * 1024 * 1024;
    static constexpr qint64 kDefaultStreamThreshold = 16 * 1024 * 1024;
    static constexpr int64_t kSettleNs = 2'000'000'000;

    // The clock and the file calls the cache makes; tests put in their own.
    class System {
    public:
        virtual ~System() = default;
        // The wall clock file times are stamped from, in nanoseconds.
        virtual int64_t nowNs() const;
        virtual bool stat(const QByteArray& nativePath, struct stat& info) const;
        virtual std::shared_ptr<OpenFile> open(const QByteArray& nativePath, struct stat& info) const;
    };
    static const System& realSystem();

    // "system" must outlive the cache.
    explicit FileCache(qint64 budget = kDefaultBudget, qint64 streamThreshold = kDefaultStreamThreshold,
                       const System& system = realSystem());

    // The file at nativePath, which the caller's existence check found as
    // seen. False when it cannot be read or does not fit a 32-bit length.
    bool serve(const QByteArray& nativePath, const struct stat& seen, ServedFile& out);
    // Keeps bytes this program has just written whole to nativePath and
    // renamed into place, under what stat gives now: they are known, so they
    // need not wait out the settle time. Nothing is kept when the file there
    // is not a regular file of that size.
    void prime(const QByteArray& nativePath, const QByteArray& body);

    qint64 heldBytes() const { return m_held; }
    int entryCount() const { return static_cast<int>(m_entries.size()); }
    // Counts entries reused, for tests and benchmarks.
    quint64 hits() const { return m_hits; }

private:
    struct Key {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedNs = 0;
        int64_t changedNs = 0;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        QByteArray path;
        Key key;
        QByteArray header;
        QByteArray body;
    };
    using Lru = std::list<Entry>;

    static Key keyOf(const struct stat& info);
    void remember(const QByteArray& path, const Key& key, const ServedFile& file);
    void forget(Lru::iterator entry);

    const System& m_system;
    qint64 m_budget;
    qint64 m_streamThreshold;
    qint64 m_held = 0;
    quint64 m_hits = 0;
    Lru m_entries; // most recently used first
    QHash<QByteArray, Lru::iterator> m_index;
};
