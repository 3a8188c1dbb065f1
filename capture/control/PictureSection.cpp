#include "capture/control/PictureSection.h"

#include "image/PictureApply.h"
#include "image/PictureSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace {

// Caption and tooltip double as accessible name and description.
template <typename Control>
Control* described(Control* control, const QString& name, const QString& tip)
{
    control->setAccessibleName(name);
    control->setToolTip(tip);
    control->setAccessibleDescription(tip);
    return control;
}

} // namespace

PictureSection::PictureSection(QWidget* parent)
    : QGroupBox(tr("Picture"), parent)
    , m_opened(*pictureSlot().options())
{
    described(this, tr("Picture"), tr("What is done to every picture: snapshot, thumbnail, stream and window"));

    m_rotation = described(new QComboBox(this), tr("Rotation"), tr("Turn the picture clockwise"));
    for (const int degrees : {0, 90, 180, 270})
        m_rotation->addItem(tr("%1°").arg(degrees), degrees);
    m_flipHorizontal = described(new QCheckBox(tr("Mirror left-right"), this), tr("Mirror left-right"),
                                 tr("Swap the picture's left and right, after turning it"));
    m_flipVertical = described(new QCheckBox(tr("Mirror top-bottom"), this), tr("Mirror top-bottom"),
                               tr("Swap the picture's top and bottom, after turning it"));
    m_captionOn = described(new QCheckBox(tr("Caption"), this), tr("Caption"),
                            tr("Write the caption text on a dark band in a corner"));
    m_caption = described(new QLineEdit(this), tr("Caption text"),
                          tr("strftime fields give the local time: %Y-%m-%d %H:%M:%S"));
    m_corner = described(new QComboBox(this), tr("Caption corner"), tr("The corner the caption is written in"));
    for (const auto corner : {PictureOptions::Corner::TopLeft, PictureOptions::Corner::TopRight,
                              PictureOptions::Corner::BottomLeft, PictureOptions::Corner::BottomRight})
        m_corner->addItem(cornerText(corner), static_cast<int>(corner));
    m_streamWidth = described(new QSpinBox(this), tr("Stream width"),
                              tr("Width of the MJPEG stream in pixels; the snapshot keeps the camera's size"));
    m_streamWidth->setRange(0, 7680);
    m_streamWidth->setSingleStep(16);
    m_streamWidth->setSpecialValueText(tr("camera's width"));

    auto* form = new QFormLayout(this);
    const auto row = [&](const QString& text, QWidget* field) {
        auto* label = described(new QLabel(text, this), text, field->toolTip());
        label->setBuddy(field);
        form->addRow(label, field);
    };
    row(tr("Rotation:"), m_rotation);
    form->addRow(m_flipHorizontal);
    form->addRow(m_flipVertical);
    form->addRow(m_captionOn);
    row(tr("Caption text:"), m_caption);
    row(tr("Caption corner:"), m_corner);
    row(tr("Stream width:"), m_streamWidth);

    setOptions(m_opened);
    connect(m_rotation, &QComboBox::currentIndexChanged, this, &PictureSection::changed);
    connect(m_flipHorizontal, &QCheckBox::toggled, this, &PictureSection::changed);
    connect(m_flipVertical, &QCheckBox::toggled, this, &PictureSection::changed);
    connect(m_captionOn, &QCheckBox::toggled, this, &PictureSection::changed);
    connect(m_caption, &QLineEdit::textChanged, this, &PictureSection::changed);
    connect(m_corner, &QComboBox::currentIndexChanged, this, &PictureSection::changed);
    connect(m_streamWidth, &QSpinBox::valueChanged, this, &PictureSection::changed);
}

PictureOptions PictureSection::options() const
{
    PictureOptions options;
    options.rotation = m_rotation->currentData().toInt();
    options.flipHorizontal = m_flipHorizontal->isChecked();
    options.flipVertical = m_flipVertical->isChecked();
    options.captionOn = m_captionOn->isChecked();
    options.caption = m_caption->text();
    options.corner = static_cast<PictureOptions::Corner>(m_corner->currentData().toInt());
    // Below 16 the stream would be a smear; such a width means the camera's.
    options.streamWidth = m_streamWidth->value() >= 16 ? m_streamWidth->value() : 0;
    return options;
}

void PictureSection::setOptions(const PictureOptions& options)
{
    m_filling = true;
    m_rotation->setCurrentIndex(m_rotation->findData(options.rotation));
    m_flipHorizontal->setChecked(options.flipHorizontal);
    m_flipVertical->setChecked(options.flipVertical);
    m_captionOn->setChecked(options.captionOn);
    m_caption->setText(options.caption);
    m_corner->setCurrentIndex(m_corner->findData(static_cast<int>(options.corner)));
    m_streamWidth->setValue(options.streamWidth);
    m_filling = false;
    changed();
}

void PictureSection::changed()
{
    if (m_filling)
        return;
    m_caption->setEnabled(m_captionOn->isChecked());
    m_corner->setEnabled(m_captionOn->isChecked());
    pictureSlot().setOptions(options());
}

void PictureSection::keep()
{
    PictureSettings::save(options());
}

void PictureSection::revert()
{
    setOptions(m_opened);
}
