#include "http/FileCache.h"

#include "http/MimeType.h"
#include "http/ResponseHeader.h"

#include <sys/stat.h>

#include <ctime>
#include <limits>
#include <new>

namespace {
int64_t nanoseconds(const timespec& time)
{
    return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}
} // namespace

int64_t FileCache::System::nowNs() const
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

bool FileCache::System::stat(const QByteArray& nativePath, struct stat& info) const
{
    return ::stat(nativePath.constData(), &info) == 0;
}

std::shared_ptr<OpenFile> FileCache::System::open(const QByteArray& nativePath, struct stat& info) const
{
    return OpenFile::open(nativePath, info);
}

const FileCache::System& FileCache::realSystem()
{
    static const System system;
    return system;
}

FileCache::FileCache(qint64 budget, qint64 streamThreshold, const System& system)
    : m_system(system)
    , m_budget(budget)
    , m_streamThreshold(streamThreshold)
{
}

FileCache::Key FileCache::keyOf(const struct stat& info)
{
    return {uint64_t(info.st_dev), uint64_t(info.st_ino), int64_t(info.st_size), nanoseconds(info.st_mtim),
            nanoseconds(info.st_ctim)};
}

bool FileCache::serve(const QByteArray& nativePath, const struct stat& seen, ServedFile& out)
{
    out = ServedFile();
    const auto found = m_index.constFind(nativePath);
    if (found != m_index.constEnd()) {
        const Lru::iterator entry = found.value();
        if (entry->key == keyOf(seen)) {
            m_entries.splice(m_entries.begin(), m_entries, entry);
            out.header = entry->header;
            out.body = entry->body;
            out.length = static_cast<int32_t>(entry->body.size());
            ++m_hits;
            return true;
        }
        forget(entry);
    }

    const int64_t readStart = m_system.nowNs();
    struct stat info {};
    std::shared_ptr<OpenFile> file = m_system.open(nativePath, info);
    if (!file || info.st_size > std::numeric_limits<int32_t>::max())
        return false;
    out.length = static_cast<int32_t>(info.st_size);
    out.header = responseHeader(contentTypeFor(nativePath), out.length);
    if (info.st_size > m_streamThreshold) {
        out.stream = std::move(file);
        return true;
    }
    try {
        QByteArray body(out.length, Qt::Uninitialized);
        if (!file->readAt(0, body.data(), body.size()))
            return false;
        out.body = std::move(body);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const Key key = keyOf(info);
    // A time ahead of the clock (one set back) settles once the clock has passed it.
    if (readStart - std::max(key.modifiedNs, key.changedNs) > kSettleNs)
        remember(nativePath, key, out);
    return true;
}

void FileCache::prime(const QByteArray& nativePath, const QByteArray& body)
{
    struct stat info {};
    if (!m_system.stat(nativePath, info) || !S_ISREG(info.st_mode) || info.st_size != body.size()
        || info.st_size > m_streamThreshold)
        return;
    const auto found = m_index.constFind(nativePath);
    if (found != m_index.constEnd())
        forget(found.value());
    ServedFile file;
    file.header = responseHeader(contentTypeFor(nativePath), static_cast<int32_t>(body.size()));
    file.body = body;
    remember(nativePath, keyOf(info), file);
}

void FileCache::remember(const QByteArray& path, const Key& key, const ServedFile& file)
{
    const qint64 cost = file.body.size() + file.header.size();
    if (cost > m_budget)
        return;
    while (m_held + cost > m_budget && !m_entries.empty())
        forget(std::prev(m_entries.end()));
    m_entries.push_front({path, key, file.header, file.body});
    m_index.insert(path, m_entries.begin());
    m_held += cost;
}

void FileCache::forget(Lru::iterator entry)
{
    m_held -= entry->body.size() + entry->header.size();
    m_index.remove(entry->path);
    m_entries.erase(entry);
}
