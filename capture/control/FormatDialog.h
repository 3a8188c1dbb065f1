#pragma once

#include <QDialog>
#include <QSize>

class CaptureControl;
class QListWidget;
class QLabel;
class PictureSection;

// "Video Format": the frame sizes the current source offers and the frame
// rate it runs at. The size taken with OK is the size of later stills and
// snapshots. Its "Picture" section changes the picture as it is edited; OK
// stores that, Cancel puts back what was in force.
class FormatDialog : public QDialog {
    Q_OBJECT
public:
    FormatDialog(CaptureControl& cam, QWidget* parent = nullptr);

    // Selects the entry for `size`; false when the source does not offer it.
    bool selectSize(const QSize& size);
    QSize selectedSize() const;
    // Hands the selected size to the control; false (and a note) when it refuses.
    bool apply();

    PictureSection& picture() const { return *m_picture; }

    void accept() override;
    void reject() override;

private:
    CaptureControl& m_cam;
    QListWidget* m_sizes = nullptr;
    QLabel* m_frameRate = nullptr;
    QLabel* m_note = nullptr;
    PictureSection* m_picture = nullptr;
};
