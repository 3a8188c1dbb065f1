#include "shell/chrome/ChromeAccessible.h"

#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/SkinnedWindow.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

constexpr const char* kButtonProperty = "talvexPushImageButton";
constexpr const char* kWindowProperty = "talvexWindow";

class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (!widget()->accessibleName().isEmpty())
                return widget()->accessibleName();
            if (auto* label = qobject_cast<QLabel*>(widget()))
                return label->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& name) override
    {
        if (name != pressAction())
            return;
        if (PushImageButton* button = PushImageButton::of(widget()))
            button->click();
    }
};

QAccessibleInterface* chromeFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (widget->property(kButtonProperty).toBool())
        return new ButtonAccessible(widget);
    if (qobject_cast<SkinnedWindow*>(widget) || widget->property(kWindowProperty).toBool())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void installChromeAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(chromeFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void markAsButton(QWidget* receiver)
{
    installChromeAccessibility();
    receiver->setProperty(kButtonProperty, true);
    // A label's caption set before this already made (and cached) its plain
    // label interface; dropped, the next query comes back as a button.
    if (QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(receiver))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
}

void markAsWindow(QWidget* window)
{
    installChromeAccessibility();
    window->setProperty(kWindowProperty, true);
}
