#pragma once

#include "image/PictureOptions.h"

#include <QImage>

#include <ctime>
#include <memory>
#include <mutex>

// The whole picture step for a snapshot or a live frame: turn and mirror,
// then the caption for `when`. With the options at their defaults the
// picture comes back untouched (shared, not copied). Safe on any thread.
QImage applyPicture(QImage picture, const PictureOptions& options, std::time_t when);
// The same for a stream frame, first scaled so that the result is
// options.streamWidth wide (streamSize()).
QImage applyStreamPicture(QImage picture, const PictureOptions& options, std::time_t when);

// The options in force, read by the UI thread and the stream encoder and
// replaced whole by the dialog or a reload. A reader keeps the options it
// got for a whole frame; setting never waits for a reader's frame.
class PictureSlot {
public:
    std::shared_ptr<const PictureOptions> options() const;
    void setOptions(const PictureOptions& options);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const PictureOptions> m_options = std::make_shared<const PictureOptions>();
};

// The program's one slot.
PictureSlot& pictureSlot();
