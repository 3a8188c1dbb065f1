#pragma once

#include <QImage>
#include <QWidget>

// A picture box: a fixed-size area that holds one picture and draws it
// unscaled from its top-left corner, cut off at its edges. Button faces, the
// video area and the preview thumbnail are all picture boxes. A face change
// assigns the whole picture of one box to another (the source keeps its own).
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return m_picture; }
    void setPicture(const QImage& picture);
    // Clears the drawing surface and drops the picture.
    void clearSurface();
    // Paints `source` stretched over the whole box by plain pixel copy
    // (nearest neighbour) and keeps the result as the box's picture.
    void paintPictureStretched(const QImage& source);

    // The colour shown where no picture covers the box.
    void setBackColor(const QColor& color);

    void setToolTip(const QString& tip);

signals:
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
    QColor m_backColor = Qt::black;
    Qt::MouseButtons m_held;
};
