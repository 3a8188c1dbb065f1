#include "capture/control/SourceListDelegate.h"

#include <QPainter>

namespace {
constexpr int kGap = 12;
}

QFont smallNodeFont(const QFont& font)
{
    QFont small = font;
    if (font.pointSizeF() > 0)
        small.setPointSizeF(font.pointSizeF() * 0.8);
    else
        small.setPixelSize(std::max(6, font.pixelSize() * 4 / 5));
    return small;
}

void SourceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QString node = index.data(NodeRole).toString();
    if (node.isEmpty())
        return;
    painter->save();
    painter->setFont(smallNodeFont(option.font));
    const QPalette::ColorRole role = option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::PlaceholderText;
    painter->setPen(option.palette.color(role));
    painter->drawText(option.rect.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, node);
    painter->restore();
}

QSize SourceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString node = index.data(NodeRole).toString();
    if (!node.isEmpty())
        size.rwidth() += kGap + QFontMetrics(smallNodeFont(option.font)).horizontalAdvance(node);
    return size;
}
