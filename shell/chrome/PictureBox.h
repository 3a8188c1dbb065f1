#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

// A picture box: a fixed-size area that holds one picture and draws it
// unscaled from its top-left corner, cut off at its edges. Button faces, the
// video area and the preview thumbnail are all picture boxes. A face change
// assigns the whole picture of one box to another (the source keeps its own).
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The picture; a deferred one is made first.
    const QImage& picture() const;
    void setPicture(const QImage& picture);
    // Leaves making the picture until it is painted or asked for, so that a
    // box hidden under another widget costs nothing. `make` runs at most
    // once; a null result keeps the picture the box held before.
    void setDeferredPicture(std::function<QImage()> make);
    bool hasDeferredPicture() const { return bool(m_deferred); }
    // Clears the drawing surface and drops the picture.
    void clearSurface();
    // Paints `source` stretched over the whole box by plain pixel copy
    // (nearest neighbour) and keeps the result as the box's picture; with
    // `keepShape`, as large as fits with its shape kept, centred on the back
    // colour.
    void paintPictureStretched(const QImage& source, bool keepShape = false);

    // Off (as ever): the picture is drawn unscaled from the top-left corner.
    // On: whole, as large as fits with its shape kept, centred on the back
    // colour, for a picture turned upright that the box would cut in half.
    void setKeepShape(bool on);
    bool keepsShape() const { return m_keepShape; }
    // Where a picture of `picture` size goes in `area` with its shape kept.
    static QRect fittedRect(const QSize& picture, const QRect& area);

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
    void makeDeferred() const;

    mutable QImage m_picture;
    mutable std::function<QImage()> m_deferred;
    QColor m_backColor = Qt::black;
    Qt::MouseButtons m_held;
    bool m_keepShape = false;
};
