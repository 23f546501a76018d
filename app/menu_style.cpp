#include "app/menu_style.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <algorithm>

namespace zx840 {
namespace {

// A tick in the check column at the left of the item, in the colour of the
// item's text.
void DrawCheckMark(const QStyleOptionMenuItem& item, QPainter* painter) {
    const QRect& rect = item.rect;
    const int side = std::clamp(rect.height() - 8, 5, 8);
    const QRectF box(rect.left() + 4, rect.center().y() - side / 2.0 + 0.5, side, side);
    QPainterPath tick;
    tick.moveTo(box.left(), box.top() + 0.55 * side);
    tick.lineTo(box.left() + 0.38 * side, box.bottom() - 0.1 * side);
    tick.lineTo(box.right(), box.top() + 0.1 * side);
    const QPalette::ColorGroup group =
        item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    const QPalette::ColorRole role =
        item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(item.palette.color(group, role), std::max(1.5, side / 5.0), Qt::SolidLine,
                         Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(tick);
    painter->restore();
}

}  // namespace

MenuMarkStyle::MenuMarkStyle(QObject* parent)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
    setParent(parent);
}

void MenuMarkStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || item == nullptr ||
        item->checkType == QStyleOptionMenuItem::NotCheckable) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The item as a plain one (the text keeps its place beside the check
    // column), then the mark when it is checked.
    QStyleOptionMenuItem plain(*item);
    plain.checkType = QStyleOptionMenuItem::NotCheckable;
    plain.checked = false;
    QProxyStyle::drawControl(element, &plain, painter, widget);
    if (item->checked) {
        DrawCheckMark(*item, painter);
    }
}

}  // namespace zx840
