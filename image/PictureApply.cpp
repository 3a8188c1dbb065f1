#include "image/PictureApply.h"

#include "image/PictureCaption.h"
#include "image/PictureTransform.h"

QImage applyPicture(QImage picture, const PictureOptions& options, std::time_t when)
{
    if (picture.isNull() || !options.changesPicture())
        return picture;
    picture = turnPicture(picture, options);
    if (options.captionOn)
        drawCaption(picture, captionText(options.caption, when), options.corner);
    return picture;
}

QImage applyStreamPicture(QImage picture, const PictureOptions& options, std::time_t when)
{
    if (picture.isNull())
        return picture;
    const QSize turned = turnedSize(picture.size(), options);
    const QSize wanted = streamSize(turned, options.streamWidth);
    // Scaled before the turn: turning the smaller picture costs less.
    if (wanted != turned)
        picture = picture.scaled(turnedSize(wanted, options), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return applyPicture(std::move(picture), options, when);
}

std::shared_ptr<const PictureOptions> PictureSlot::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

void PictureSlot::setOptions(const PictureOptions& options)
{
    auto fresh = std::make_shared<const PictureOptions>(options);
    std::lock_guard lock(m_mutex);
    m_options.swap(fresh);
}

PictureSlot& pictureSlot()
{
    static PictureSlot slot;
    return slot;
}
