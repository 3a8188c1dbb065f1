#pragma once

#include "http/OpenFile.h"
#include "http/SocketOs.h"

#include <QByteArray>

#include <memory>
#include <unordered_map>
#include <vector>

// Bytes accepted by WriteData but not yet taken by the kernel. Pieces keep a
// shared reference to the caller's buffer instead of a copy, so a file body
// handed over in chunks is sent from the one block it was read into. A file
// range is read from disk one chunk at a time, only as the socket drains.
class OutputQueue {
public:
    enum class Flush { Done, Blocked, Failed };

    // Queues length bytes of buffer from offset, clamped to the buffer; joins
    // the bytes of the same buffer queued last when they follow on.
    void append(const QByteArray& buffer, qsizetype offset, qsizetype length);
    // Queues length bytes of file from offset; joins a range that ends there.
    void appendFile(const std::shared_ptr<OpenFile>& file, qint64 offset, qint64 length);
    // Sends as much as the kernel takes now, in as few calls as it can.
    // `progressed` tells whether any byte went out.
    // A file that fails to read or ends early fails the flush. Blocked also
    // when a flush has read its share of a file: the socket is still
    // writable then, and the next writable event goes on. beforeClose: the
    // socket is closed or shut down as soon as the flush is Done.
    Flush flush(SocketOs& os, int fd, bool* progressed = nullptr, bool beforeClose = false);

    bool isEmpty() const { return m_queued == 0; }
    // Bytes still to send, those left on disk included.
    qint64 size() const { return m_queued; }
    // Bytes held in memory for this queue (shared buffers counted in full).
    qint64 memoryBytes() const { return m_queued - m_onDisk; }
    // Adds each buffer the queue holds, by its address, with its whole size:
    // a buffer is freed only when nothing refers to it any more, and queues
    // that share one (a cached file's body) hold it once between them.
    void collectBuffers(std::unordered_map<const void*, qint64>& buffers) const;
    void clear();

    // The size of one read from a queued file.
    static constexpr qsizetype kFileChunk = 16384;

private:
    struct Piece {
        QByteArray data;
        qsizetype offset;
        qsizetype length;
        // A file range: data holds its current chunk, the rest is on disk.
        std::shared_ptr<OpenFile> file;
        qint64 filePos = 0;
        qint64 fileLeft = 0;
    };
    void consume(qsizetype sent);
    bool loadChunk(Piece& piece);

    std::vector<Piece> m_pieces;
    size_t m_head = 0;
    qint64 m_queued = 0;
    qint64 m_onDisk = 0;
};
