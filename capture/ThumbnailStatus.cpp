#include "capture/ThumbnailStatus.h"

#include "capture/GuardedStep.h"
#include "image/cDIBSection.h"
#include "image/mIntelJPEGLibrary.h"
#include "shell/chrome/PictureBox.h"

#include <QLabel>

ThumbnailStatus::ThumbnailStatus(MainState& state, PictureBox& pic, PictureBox& picTb, QLabel& sb1)
    : m_state(state), m_pic(pic), m_picTb(picTb), m_sb1(sb1)
{
}

QString ThumbnailStatus::countdownCaption(int16_t tbSeconds)
{
    const int left = 60 - tbSeconds;
    QString text = QString::number(left);
    if (left < 10)
        text.prepend(QLatin1Char('0'));
    return QStringLiteral("Snapshot: ") + text;
}

QString ThumbnailStatus::thumbnailTip(const QString& keepTb)
{
    return keepTb == QLatin1String("True") ? QStringLiteral("Hide preview snapshot")
                                           : QStringLiteral("Keep preview snapshot");
}

QString ThumbnailStatus::thumbnailPath() const
{
    return m_state.TempPath + QLatin1String("/root/images/") + m_state.imageNameTb +
           QLatin1String(".jpg");
}

void ThumbnailStatus::tick()
{
    m_sb1.setText(countdownCaption(m_state.tbSeconds));
    if (m_state.tbSeconds >= 60)
        m_state.tbSeconds = 0;
    if (m_state.tbSeconds == 0)
        TakeThumbnail();
    m_state.tbSeconds = int16_t(m_state.tbSeconds + 1);
    if (m_state.keepTb == QLatin1String("False") && m_state.tbSeconds > 5)
        m_picTb.hide();
}

void ThumbnailStatus::TakeThumbnail()
{
    guarded([&] { m_picTb.show(); });
    guarded([&] { m_picTb.resize(100, 75); });
    // A plain stretch of the decoded full-size snapshot, not a fresh frame.
    guarded([&] { m_picTb.paintPictureStretched(m_pic.picture(), m_pic.keepsShape()); });
    cDIBSection image;
    guarded([&] { image.CreateFromPicture(m_picTb.picture()); });
    guarded([&] {
        mIntelJPEGLibrary::SaveJpegFile(image, thumbnailPath(), int32_t(m_state.quality) + 10);
    });
    guarded([&] { image.ClearUp(); });
}

void ThumbnailStatus::clickThumbnail()
{
    m_state.keepTb = m_state.keepTb == QLatin1String("True") ? QStringLiteral("False")
                                                             : QStringLiteral("True");
    m_picTb.setToolTip(thumbnailTip(m_state.keepTb));
}
