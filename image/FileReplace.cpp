#include "image/FileReplace.h"

#include "core/io/FdIo.h"
#include "core/io/UniqueFd.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int exchangeNames(const char* from, const char* to)
{
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

ExchangeNames s_exchangeNames = exchangeNames;

// The temporary file: closed and removed on every path unless committed.
class TempFile {
public:
    TempFile() = default;
    ~TempFile()
    {
        m_fd.reset();
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool create(const QByteArray& target)
    {
        const qsizetype slash = target.lastIndexOf('/');
        const QByteArray dir = slash < 0 ? QByteArray(".") : target.left(slash);
        const QByteArray base = target.mid(slash + 1);
        // Hidden, and unique to this process; O_EXCL makes a clash a retry,
        // a bounded number of times.
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QByteArray candidate = dir + "/." + base + ".tmp" + QByteArray::number(::getpid()) + "_"
                + QByteArray::number(s_counter++);
            // 0666 lets the umask decide, as for any newly created file.
            const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_fd = UniqueFd(fd);
                m_path = candidate;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    bool writeAll(const std::uint8_t* data, std::size_t size) { return writeFully(m_fd.get(), data, size); }

    void keepStampsOf(const struct stat& old)
    {
        // Best effort, as a failed restore still leaves a good file.
        ::fchmod(m_fd.get(), old.st_mode & 07777);
        const struct timespec times[2] = {old.st_atim, old.st_mtim};
        ::futimens(m_fd.get(), times);
    }

    // A failed close can mean lost data (NFS, a full disk): it counts.
    bool close() { return !m_fd.isValid() || ::close(m_fd.release()) == 0; }

    // Swapping names with an existing file is as atomic as renaming over it,
    // and on ext4 it avoids the flush of the new file's data that a
    // replacing rename starts (a few milliseconds on a busy disk, every
    // frame). The old file, now under the temporary name, is then removed.
    bool renameOver(const QByteArray& target, bool targetIsFile)
    {
        if (targetIsFile && s_exchangeNames(m_path.constData(), target.constData()) == 0)
            return true; // the destructor unlinks the old file
        if (::rename(m_path.constData(), target.constData()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    static inline std::atomic<unsigned> s_counter{0};
    UniqueFd m_fd;
    QByteArray m_path;
};

} // namespace

void setExchangeNames(ExchangeNames call)
{
    s_exchangeNames = call ? call : exchangeNames;
}

ReplaceStatus replaceFileKeepingStamps(const QString& path, const std::uint8_t* data, std::size_t size)
{
    const QByteArray target = QFile::encodeName(path);
    if (target.isEmpty() || target.endsWith('/'))
        return ReplaceStatus::CreateFailed;

    struct stat old {};
    const bool existed = ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);

    TempFile temp;
    if (!temp.create(target))
        return ReplaceStatus::CreateFailed;
    if (!temp.writeAll(data, size))
        return ReplaceStatus::WriteFailed;
    if (existed)
        temp.keepStampsOf(old);
    if (!temp.close())
        return ReplaceStatus::WriteFailed;
    if (!temp.renameOver(target, existed))
        return ReplaceStatus::RenameFailed;
    return ReplaceStatus::Ok;
}
