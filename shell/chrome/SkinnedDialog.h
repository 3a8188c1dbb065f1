#pragma once

class QWidget;

namespace Skin {

// Gives a stock dialog the main window's look: its dark palette and text
// colour, its font family (a little larger, for lists and sliders), and push
// buttons drawn like the skin's text buttons, with a focus mark in the link
// colour. Children made later inherit it.
void applyToDialog(QWidget* dialog);

} // namespace Skin
