#pragma once

#include <QByteArray>
#include <QObject>

// The newest good JPEG for the stream, kept as the very bytes encoded, with
// the wall-clock time its picture was captured. Readers take a shared
// reference, so a frame being sent stays whole however many follow it.
class LatestFrame : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Makes `jpeg` the latest frame and raises published(). Empty bytes are
    // ignored. `captureTimeUs`: microseconds since the epoch; 0 means now.
    void publish(const QByteArray& jpeg, qint64 captureTimeUs = 0);

    QByteArray jpeg() const { return m_jpeg; }
    bool isEmpty() const { return m_jpeg.isEmpty(); }
    qint64 captureTimeUs() const { return m_captureTimeUs; }
    // Counts frames published since start; 0 before the first.
    quint64 sequence() const { return m_sequence; }

    // True while frames come straight from the camera's stream encoder; the
    // snapshot cycle then leaves the stream alone, so the two kinds of
    // frame never interleave.
    void setCameraFed(bool fed) { m_cameraFed = fed; }
    bool cameraFed() const { return m_cameraFed; }

signals:
    void published();

private:
    QByteArray m_jpeg;
    qint64 m_captureTimeUs = 0;
    quint64 m_sequence = 0;
    bool m_cameraFed = false;
};
