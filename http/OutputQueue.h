#pragma once

#include "http/SocketOs.h"

#include <QByteArray>

#include <vector>

// Bytes accepted by WriteData but not yet taken by the kernel. Pieces keep a
// shared reference to the caller's buffer instead of a copy, so a file body
// handed over in chunks is sent from the one block it was read into.
class OutputQueue {
public:
    enum class Flush { Done, Blocked, Failed };

    // Queues length bytes of buffer from offset, clamped to the buffer.
    void append(const QByteArray& buffer, qsizetype offset, qsizetype length);
    // Sends as much as the kernel takes now, in as few calls as it can.
    // `progressed` tells whether any byte went out.
    Flush flush(SocketOs& os, int fd, bool* progressed = nullptr);

    bool isEmpty() const { return m_queued == 0; }
    qsizetype size() const { return m_queued; }
    void clear();

private:
    struct Piece {
        QByteArray data;
        qsizetype offset;
        qsizetype length;
    };
    void consume(qsizetype sent);

    std::vector<Piece> m_pieces;
    size_t m_head = 0;
    qsizetype m_queued = 0;
};
