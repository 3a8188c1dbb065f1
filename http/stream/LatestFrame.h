#pragma once

#include <QByteArray>
#include <QObject>

// The newest good JPEG the snapshot cycle wrote, kept as the very bytes it
// encoded. Readers take a shared reference, so a frame being sent stays
// whole however many frames follow it.
class LatestFrame : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Makes `jpeg` the latest frame and raises published(). Empty bytes are ignored.
    void publish(const QByteArray& jpeg);

    QByteArray jpeg() const { return m_jpeg; }
    bool isEmpty() const { return m_jpeg.isEmpty(); }
    // Counts frames published since start; 0 before the first.
    quint64 sequence() const { return m_sequence; }

signals:
    void published();

private:
    QByteArray m_jpeg;
    quint64 m_sequence = 0;
};
