#pragma once

#include "http/OpenFile.h"

#include <QByteArray>

#include <memory>

// One connection as the request handler sees it: the socket control's
// members that answering a request needs. Implemented by TcpSocketControl
// and by test and fuzzing fakes.
class SocketSlot {
public:
    virtual ~SocketSlot() = default;

    // Replaces buffer with up to length bytes of waiting data; returns the count.
    virtual int ReadData(QByteArray& buffer, int length) = 0;
    // Sends length bytes of buffer starting at offset; every byte is taken.
    virtual int WriteData(const QByteArray& buffer, qsizetype offset, int length) = 0;
    // Sends the first length bytes of buffer.
    int WriteData(const QByteArray& buffer, int length) { return WriteData(buffer, 0, length); }
    // Sends length bytes of file from offset, like WriteData of those bytes.
    // A socket may read them only as the peer takes them; this one reads them
    // now. Returns the count taken, 0 when the file cannot be read.
    virtual int WriteFile(const std::shared_ptr<OpenFile>& file, qint64 offset, int length)
    {
        QByteArray chunk(length, Qt::Uninitialized);
        if (length <= 0 || !file->readAt(offset, chunk.data(), length))
            return 0;
        return WriteData(chunk, 0, length);
    }
    virtual bool HasConnection() const = 0;
    // Ends the connection once every byte written so far has been delivered.
    virtual void CloseSocket() = 0;
};
