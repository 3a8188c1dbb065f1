#include "shell/chrome/SkinnedDialog.h"

#include "shell/chrome/Skin.h"
#include "shell/chrome/SkinPalette.h"

#include <QEvent>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace Skin {

namespace {

using namespace Palette;

QString buttonSheet()
{
    return QStringLiteral(
               "QPushButton { color: %1; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %4, "
               "stop:1 %5); border: 1px solid %7; border-top-color: %6; "
               "border-left-color: %6; padding: 3px 14px; min-width: 60px; }"
               "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %8, "
               "stop:1 %9); border-color: %11; border-top-color: %10; border-left-color: %10; }"
               "QPushButton:focus { border: 1px dotted %2; }"
               "QPushButton:disabled { color: %3; }")
        .arg(text.name(), link.name(), dimText.name(), raisedFace.top.name(), raisedFace.bottom.name(),
             raisedFace.lit.name(), raisedFace.shade.name(), pressedFace.top.name(), pressedFace.bottom.name())
        .arg(pressedFace.lit.name(), pressedFace.shade.name());
}

// Style sheets take over a widget's palette, so only the push buttons get
// one, set when the dialog is first polished (all its buttons made by then).
class ButtonSkinner : public QObject {
public:
    explicit ButtonSkinner(QWidget* dialog) : QObject(dialog) { dialog->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Polish && watched == parent()) {
            const QString sheet = buttonSheet();
            for (QPushButton* button : parent()->findChildren<QPushButton*>())
                button->setStyleSheet(sheet);
        }
        return false;
    }
};

} // namespace

void applyToDialog(QWidget* dialog)
{
    if (!dialog)
        return;
    QPalette palette = dialog->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, textColor());
        palette.setColor(group, QPalette::Base, well);
        palette.setColor(group, QPalette::AlternateBase, window);
        palette.setColor(group, QPalette::Text, textColor());
        palette.setColor(group, QPalette::Button, bandTop);
        palette.setColor(group, QPalette::ButtonText, textColor());
        palette.setColor(group, QPalette::Highlight, accent.darker(160));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, well);
        palette.setColor(group, QPalette::ToolTipText, textColor());
        palette.setColor(group, QPalette::Link, linkColor());
        palette.setColor(group, QPalette::PlaceholderText, dimText);
    }
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimText);
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Button, window);
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);

    QFont font = labelFont();
    font.setPixelSize(12);
    dialog->setFont(font);
    new ButtonSkinner(dialog);
}

} // namespace Skin
