#include "shell/chrome/SkinnedDialog.h"

#include "shell/chrome/Skin.h"

#include <QEvent>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace Skin {

namespace {

// The colours of the skin's windows, wells and text-button faces.
const QColor kWindow(0x22, 0x27, 0x2e);
const QColor kWell(0x12, 0x15, 0x19);
const QColor kRaised(0x3a, 0x41, 0x50);
const QColor kAccent(0x3f, 0xb8, 0xd0);
const QColor kDimText(0x8a, 0x93, 0xa3);

QString buttonSheet()
{
    return QStringLiteral(
               "QPushButton { color: %1; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #555f71, "
               "stop:1 #303641); border: 1px solid #22272e; border-top-color: #7a869b; "
               "border-left-color: #7a869b; padding: 3px 14px; min-width: 60px; }"
               "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1b1f25, "
               "stop:1 #2b313a); border-color: #333a45; border-top-color: #08090b; border-left-color: #08090b; }"
               "QPushButton:focus { border: 1px dotted %2; }"
               "QPushButton:disabled { color: %3; }")
        .arg(textColor().name(), linkColor().name(), kDimText.name());
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
        palette.setColor(group, QPalette::Window, kWindow);
        palette.setColor(group, QPalette::WindowText, textColor());
        palette.setColor(group, QPalette::Base, kWell);
        palette.setColor(group, QPalette::AlternateBase, kWindow);
        palette.setColor(group, QPalette::Text, textColor());
        palette.setColor(group, QPalette::Button, kRaised);
        palette.setColor(group, QPalette::ButtonText, textColor());
        palette.setColor(group, QPalette::Highlight, kAccent.darker(160));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, kWell);
        palette.setColor(group, QPalette::ToolTipText, textColor());
        palette.setColor(group, QPalette::Link, linkColor());
        palette.setColor(group, QPalette::PlaceholderText, kDimText);
    }
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, kDimText);
    palette.setColor(QPalette::Disabled, QPalette::Window, kWindow);
    palette.setColor(QPalette::Disabled, QPalette::Base, kWindow);
    palette.setColor(QPalette::Disabled, QPalette::Button, kWindow);
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);

    QFont font = labelFont();
    font.setPixelSize(12);
    dialog->setFont(font);
    new ButtonSkinner(dialog);
}

} // namespace Skin
