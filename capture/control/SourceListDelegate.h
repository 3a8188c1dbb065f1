#pragma once

#include <QStyledItemDelegate>

// Draws an entry of the source list as the camera's name with its node
// ("/dev/video2", the item's NodeRole) small at the right, so that two
// cameras of one model can be told apart without the node taking the name's place.
class SourceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int NodeRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The font the node is shown in beside a name in `font`.
QFont smallNodeFont(const QFont& font);
