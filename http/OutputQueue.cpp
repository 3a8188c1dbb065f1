#include "http/OutputQueue.h"

#include <algorithm>
#include <cerrno>

namespace {
// Enough for a header and a few 16 KiB chunks in one call; larger queues loop.
constexpr int kMaxPieces = 64;
// A peer that drains as fast as a file is read would otherwise keep one
// flush going for the whole file; past this, the loop gets its turn.
constexpr qint64 kMaxFileBytesPerFlush = 256 * 1024;
}

void OutputQueue::append(const QByteArray& buffer, qsizetype offset, qsizetype length)
{
    offset = std::clamp<qsizetype>(offset, 0, buffer.size());
    length = std::clamp<qsizetype>(length, 0, buffer.size() - offset);
    if (length == 0)
        return;
    m_queued += length;
    // A body handed over in chunks becomes one piece again: one entry to
    // send from and to account for instead of one per chunk.
    if (m_pieces.size() > m_head) {
        Piece& last = m_pieces.back();
        if (!last.file && last.data.constData() == buffer.constData() && last.data.size() == buffer.size()
            && last.offset + last.length == offset) {
            last.length += length;
            return;
        }
    }
    m_pieces.push_back({buffer, offset, length, nullptr, 0, 0});
}

void OutputQueue::collectBuffers(std::unordered_map<const void*, qint64>& buffers) const
{
    for (size_t i = m_head; i < m_pieces.size(); ++i) {
        const QByteArray& data = m_pieces[i].data;
        if (!data.isEmpty())
            buffers.emplace(data.constData(), data.size());
    }
}

void OutputQueue::appendFile(const std::shared_ptr<OpenFile>& file, qint64 offset, qint64 length)
{
    if (!file || length <= 0 || offset < 0)
        return;
    m_queued += length;
    m_onDisk += length;
    if (m_pieces.size() > m_head) {
        Piece& last = m_pieces.back();
        if (last.file == file && last.filePos + last.fileLeft == offset) {
            last.fileLeft += length;
            return;
        }
    }
    m_pieces.push_back({QByteArray(), 0, 0, file, offset, length});
}

void OutputQueue::clear()
{
    m_pieces.clear();
    m_head = 0;
    m_queued = 0;
    m_onDisk = 0;
}

bool OutputQueue::loadChunk(Piece& piece)
{
    if (piece.length > 0 || piece.fileLeft == 0)
        return true;
    const qsizetype n = static_cast<qsizetype>(std::min<qint64>(kFileChunk, piece.fileLeft));
    if (piece.data.size() != n)
        piece.data.resize(n);
    if (!piece.file->readAt(piece.filePos, piece.data.data(), n))
        return false;
    piece.offset = 0;
    piece.length = n;
    piece.filePos += n;
    piece.fileLeft -= n;
    m_onDisk -= n;
    return true;
}

void OutputQueue::consume(qsizetype sent)
{
    m_queued -= sent;
    while (sent > 0) {
        Piece& piece = m_pieces[m_head];
        const qsizetype taken = std::min(sent, piece.length);
        piece.offset += taken;
        piece.length -= taken;
        sent -= taken;
        if (piece.length == 0 && piece.fileLeft == 0) {
            piece.data = QByteArray();
            piece.file.reset();
            ++m_head;
        }
    }
    if (m_head == m_pieces.size()) {
        m_pieces.clear();
        m_head = 0;
    }
}

OutputQueue::Flush OutputQueue::flush(SocketOs& os, int fd, bool* progressed, bool beforeClose)
{
    if (progressed)
        *progressed = false;
    iovec pieces[kMaxPieces];
    const qint64 onDiskAtStart = m_onDisk;
    while (m_queued > 0) {
        if (onDiskAtStart - m_onDisk >= kMaxFileBytesPerFlush)
            return Flush::Blocked;
        int count = 0;
        qsizetype batch = 0;
        for (size_t i = m_head; i < m_pieces.size() && count < kMaxPieces; ++i) {
            Piece& piece = m_pieces[i];
            // Bytes after a file range wait until its last chunk is read.
            if (piece.file && !loadChunk(piece))
                return Flush::Failed;
            pieces[count].iov_base = const_cast<char*>(piece.data.constData() + piece.offset);
            pieces[count].iov_len = static_cast<size_t>(piece.length);
            batch += piece.length;
            ++count;
            if (piece.fileLeft > 0)
                break;
        }
        const ssize_t sent = os.send(fd, pieces, count, beforeClose);
        if (sent == -EINTR)
            continue;
        if (sent == -EAGAIN || sent == -EWOULDBLOCK)
            return Flush::Blocked;
        if (sent < 0)
            return Flush::Failed;
        if (sent > 0 && progressed)
            *progressed = true;
        consume(static_cast<qsizetype>(sent));
        // A short send means the socket buffer is full; asking again now
        // would only cost a call that returns EAGAIN.
        if (sent < batch)
            return Flush::Blocked;
    }
    return Flush::Done;
}
