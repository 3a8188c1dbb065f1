#pragma once

#include "capture/source/VideoSource.h"

#include <functional>

class QWidget;

// The editor of one source control: a slider (Integer), a check box
// (Boolean) or a list of the entries the source offers (Menu). `changed`
// gets each value the user picks; the editor is named "control-<id>" and
// carries the control's name for screen readers.
QWidget* createControlEditor(const SourceControl& control, QWidget* parent, std::function<void(int)> changed);

// Shows `control.value` in an editor made by createControlEditor for the same
// control, without reporting it as a change. A menu value the source does
// not offer shows as no entry at all.
void showControlValue(QWidget* editor, const SourceControl& control);

// True when the two describe editors of the same shape (kind, range, step,
// menu entries), so that an editor made for one can show the other.
bool sameEditorShape(const SourceControl& a, const SourceControl& b);
