#pragma once

class QWidget;

// What screen readers are told about the skinned chrome. Push-image button
// receivers (a caption label or a face picture) report the push-button role,
// their caption as name, their tooltip as description and a press action;
// skinned windows report as windows named by their title.
void markAsButton(QWidget* receiver);
// A plain top-level widget that should report as a window named by its title.
void markAsWindow(QWidget* window);
// Installs the accessibility factory once; markAsButton and every skinned
// window call it.
void installChromeAccessibility();
