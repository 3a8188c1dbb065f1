#pragma once

class QWidget;

// Starts the window system's own interactive move of `window`, as if the user
// had grabbed its caption bar. Call it from a mouse press. The result is
// ignored: where the platform cannot move windows this does nothing.
void DragWindow(QWidget* window);
