#pragma once

#include "capture/source/VideoSource.h"

// Stands in for the remembered camera while it is not plugged in: it never
// opens and every still fails with "Camera <name> not present", so the
// status bar shows the same failure as for a lost camera until the capture
// control finds the camera and puts it in its place.
class WaitingSource : public VideoSource {
    Q_OBJECT
public:
    WaitingSource(QString id, QString name, QSize size, QObject* parent = nullptr);

    QString id() const override { return m_id; }
    QString displayName() const override { return m_name; }
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    QImage latestFrame() const override { return {}; }
    QImage grabStill(QString* error) override;
    QList<QSize> frameSizes() const override { return {}; }
    QSize frameSize() const override { return m_size; }
    bool setFrameSize(const QSize& size) override;

private:
    QString m_id;
    QString m_name;
    QSize m_size;
};
