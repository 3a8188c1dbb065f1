#pragma once

#include "capture/source/SourceCatalog.h"

#include <QDialog>

class CaptureControl;
class QComboBox;
class QFormLayout;
class QLabel;

// "Video Source": picks the source of the capture control among the devices
// present and the test pattern, and shows the chosen source's controls
// (sliders, check boxes, lists), each applied as soon as it changes.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    SourceDialog(CaptureControl& cam, QWidget* parent = nullptr);

    // Switches the control to entry `index` of the list; false (and a note
    // in the dialog) when that source cannot be had.
    bool chooseSource(int index);
    // Sets one control of the current source.
    bool applyControl(quint32 id, int value);

    const QList<SourceChoice>& choices() const { return m_choices; }

private:
    void buildControls();

    CaptureControl& m_cam;
    QList<SourceChoice> m_choices;
    QComboBox* m_sourceList = nullptr;
    QWidget* m_controlsArea = nullptr;
    QFormLayout* m_controlsLayout = nullptr;
    QLabel* m_note = nullptr;
};
