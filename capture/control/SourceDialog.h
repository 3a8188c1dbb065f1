#pragma once

#include "capture/source/SourceCatalog.h"

#include <QDialog>

class CaptureControl;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QScrollArea;

// "Video Source": picks the source of the capture control among the devices
// present (by name, the node small beside it) and the test pattern, and
// shows the chosen source's controls (sliders, check boxes, lists) in a
// scrolling area, each applied as soon as it changes and kept for the
// camera; "Reset to defaults" sets them all back. Controls that another one
// switches off (Gain while "Gain, Automatic" is ticked) are hidden until it
// switches them on again.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    SourceDialog(CaptureControl& cam, QWidget* parent = nullptr);

    // Switches the control to entry `index` of the list; false (and a note
    // in the dialog) when that source cannot be had.
    bool chooseSource(int index);
    // Sets one control of the current source, then reads every control
    // back and shows what the source holds now. False, with a note, when
    // the source refuses: the editor then returns to the source's value.
    bool applyControl(quint32 id, int value);

    // Every control back to the camera's default, and nothing kept for it.
    bool resetControls();

    const QList<SourceChoice>& choices() const { return m_choices; }

private:
    void showNote(const QString& text);
    void showNode();
    void refreshControls();
    void buildControls(const QList<SourceControl>& controls);
    void clearControls();

    CaptureControl& m_cam;
    QList<SourceChoice> m_choices;
    QComboBox* m_sourceList = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_controlsArea = nullptr;
    QFormLayout* m_controlsLayout = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_node = nullptr;
    QPushButton* m_reset = nullptr;
    QList<SourceControl> m_controls;   // as last read, in the order shown
    QList<QWidget*> m_editors;         // one per entry of m_controls
};
