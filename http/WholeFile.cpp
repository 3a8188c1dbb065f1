#include "http/WholeFile.h"

#include "core/io/FdIo.h"
#include "core/io/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <new>

bool readWholeFile(const QByteArray& nativePath, QByteArray& body)
{
    body.clear();
    if (nativePath.isEmpty() || nativePath.contains('\0'))
        return false;
    // O_NONBLOCK keeps a FIFO swapped in after the existence check from
    // blocking the open; the type check below then refuses it.
    const UniqueFd file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return false;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (info.st_size < 0 || info.st_size > std::numeric_limits<int32_t>::max())
        return false;
    try {
        QByteArray data(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
        if (!readFully(file.get(), data.data(), size_t(data.size())))
            return false;
        body = std::move(data);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
