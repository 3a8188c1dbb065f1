#pragma once

#include "shell/chrome/SkinnedWindow.h"

#include <functional>

class PictureBox;
class PushImageButton;
class QLabel;
class QTimer;

// The start-up window, the only way into the main window. "Open" arms the
// Delay timer on its press; two ticks later (10 ms, then 100 ms) the main
// window is shown and this window unloads. "Close" ends the program on its
// release. The window deletes itself when it unloads: create it with new.
// From the keyboard, Return (or Alt+O) anywhere in the window is a click on
// "Open" and Escape a click on "Close"; Tab moves between the two.
class frmBegin : public SkinnedWindow {
    Q_OBJECT
public:
    // `showMainWindow` creates and shows the main window; it runs the main
    // window's whole load before returning.
    explicit frmBegin(std::function<void()> showMainWindow, QWidget* parent = nullptr);
    ~frmBegin() override;

    // How "Close" ends the program; QCoreApplication::quit unless replaced.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    // The tick of Delay; its interval selects the step.
    void delayTick();

    QLabel* lblTitle = nullptr;
    QLabel* lblHomePage = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDays = nullptr;
    QLabel* lblLogin = nullptr;
    PictureBox* btnLogin = nullptr;
    QLabel* lblClose = nullptr;
    PictureBox* btnClose = nullptr;
    PictureBox* btnPush = nullptr;
    QTimer* Delay = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void openMainWindow();
    void endProgram();

    std::function<void()> m_showMainWindow;
    std::function<void()> m_endProgram;
    bool m_opening = false;
    PushImageButton* m_open = nullptr;
    PushImageButton* m_close = nullptr;
};
