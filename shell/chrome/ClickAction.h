#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Gives a widget (a text label acting as a link) a click: a left-button
// press on it followed by the release with the pointer still over it. The
// object is a child of the widget and watches it through an event filter.
class ClickAction : public QObject {
    Q_OBJECT
public:
    ClickAction(QWidget* widget, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    std::function<void()> m_action;
    bool m_pressed = false;
};
