#pragma once

#include "core/state/MainState.h"
#include "shell/chrome/SkinnedWindow.h"

class PictureBox;
class PushImageButton;
class QLabel;

// The about window: the description, the version and home page texts of the
// start-up window, and "Test Server", which opens the listener's own address
// in the browser. It cannot be dragged. "Close" unloads it (it deletes itself
// on close, so it is always created with new). `mainState` must outlive it.
class frmAbout : public SkinnedWindow {
    Q_OBJECT
public:
    explicit frmAbout(const MainState& mainState, QWidget* parent = nullptr);
    ~frmAbout() override;

    // Shows the one about window: creates it, or brings the open one forward.
    // With an owner the window also goes when the owner does.
    static frmAbout* showOne(const MainState& mainState, QWidget* owner = nullptr);
    // The about window that is open now, if any.
    static frmAbout* openOne();

    // "http://" + My_IP + ":" + My_PORT in decimal, read now.
    static QString serverTestAddress(const MainState& mainState);

    QLabel* lblDescription = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblHomePage = nullptr;
    QLabel* lblTest = nullptr;
    PictureBox* btnTest = nullptr;
    QLabel* lblClose = nullptr;
    PictureBox* btnClose = nullptr;
    PictureBox* btnPush = nullptr;
    QLabel* Image1 = nullptr;
    // The address viewers type and the folder the program works in.
    QLabel* lblAddress = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void load();

    const MainState& m_mainState;
};
