#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <memory>

struct stat;

// A file open for reading, closed with its last owner. Shared between the
// request that opened it and the connection that sends it from disk.
class OpenFile {
public:
    // A regular file opened read-only, with fstat's view of it in info;
    // nullptr when it cannot be opened or is not a regular file. Never blocks
    // on a FIFO swapped in after an existence check.
    static std::shared_ptr<OpenFile> open(const QByteArray& nativePath, struct stat& info);

    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Reads exactly length bytes from offset; false on an error or when the
    // file ends first (it shrank since it was opened).
    bool readAt(off_t offset, char* data, qsizetype length) const;

private:
    int m_fd;
};
