#pragma once

#include <QImage>
#include <QWidget>

class PictureBox;
class QLabel;

// A frameless top-level window of the size of its background picture, which
// it paints itself. The program moves it through DragWindow (when draggable)
// and closes or minimises it through its own buttons.
class SkinnedWindow : public QWidget {
    Q_OBJECT
public:
    SkinnedWindow(const QImage& background, const QString& caption, QWidget* parent = nullptr);

    const QImage& background() const { return m_background; }

    // A press of any mouse button on the background itself (not on a child)
    // starts the system move of the window.
    void setDraggable(bool draggable) { m_draggable = draggable; }
    bool isDraggable() const { return m_draggable; }

signals:
    // A press on the background of a draggable window, just before the move.
    void backgroundPressed();

protected:
    // Children drawn in the skin's style, owned by the window.
    // A transparent label in the skin's font and text colour.
    QLabel* addLabel(const QRect& geometry, Qt::Alignment alignment, const QString& caption = {});
    // A picture box showing `picture`.
    PictureBox* addPicture(const QRect& geometry, const QImage& picture, bool visible = true);
    // The 81 x 21 face of a text button, at rest or pressed.
    PictureBox* addFace(const QPoint& position, bool pressed);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage m_background;
    bool m_draggable = false;
};
