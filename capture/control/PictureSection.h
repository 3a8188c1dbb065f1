#pragma once

#include "image/PictureOptions.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

// The "Picture" section of the Video Format dialog: turn, mirrors, caption
// and the stream's width. Every change is in force at once (the program's
// picture slot); keep() stores the options in Talvex.conf, revert() puts
// back those in force when the section was made.
class PictureSection : public QGroupBox {
    Q_OBJECT
public:
    explicit PictureSection(QWidget* parent = nullptr);

    PictureOptions options() const;
    void setOptions(const PictureOptions& options);

    void keep();
    void revert();

private:
    void changed();

    PictureOptions m_opened;
    bool m_filling = false;
    QComboBox* m_rotation = nullptr;
    QCheckBox* m_flipHorizontal = nullptr;
    QCheckBox* m_flipVertical = nullptr;
    QCheckBox* m_captionOn = nullptr;
    QLineEdit* m_caption = nullptr;
    QComboBox* m_corner = nullptr;
    QSpinBox* m_streamWidth = nullptr;
};
