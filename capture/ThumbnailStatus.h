#pragma once

#include "core/state/MainState.h"

class PictureBox;
class QLabel;

// The one-second timer's work: the "Snapshot: " countdown in the status bar
// and, every 60 ticks, the 100 x 75 thumbnail of the current snapshot, shown
// in the corner of the video area and written as the second JPEG file.
class ThumbnailStatus {
public:
    ThumbnailStatus(MainState& state, PictureBox& pic, PictureBox& picTb, QLabel& sb1);

    // One tick of `timeTb`.
    void tick();
    void TakeThumbnail();
    // A click on the thumbnail switches between keeping and hiding it.
    void clickThumbnail();

    // "Snapshot: " and the seconds left, at least two digits.
    static QString countdownCaption(int16_t tbSeconds);
    // "Hide preview snapshot" in mode "True", "Keep preview snapshot" otherwise.
    static QString thumbnailTip(const QString& keepTb);

    QString thumbnailPath() const;

private:
    MainState& m_state;
    PictureBox& m_pic;
    PictureBox& m_picTb;
    QLabel& m_sb1;
};
