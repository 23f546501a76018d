#include "draw/painter_replay.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace zx840 {
namespace {

QColor ToColor(const Rgb& rgb) {
    return QColor(rgb.r, rgb.g, rgb.b);
}

QPen ToPen(const SelectPen& slot) {
    QPen pen(ToColor(slot.color));
    pen.setWidth(slot.width);
    pen.setStyle(slot.style == PenStyle::Dash ? Qt::DashLine : Qt::SolidLine);
    if (slot.width > 1) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    } else {
        pen.setCapStyle(Qt::FlatCap);
    }
    return pen;
}

QFont ToFont(const SelectFont& slot, const QFont& base) {
    QFont font(base);
    font.setFamily(QString::fromStdString(slot.family));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(slot.weight, 100, 900)));
    if (slot.height > 0) {
        if (slot.cellHeight) {
            // A cell height includes the internal leading: scale the em so
            // that ascent plus descent come out at the height asked for.
            font.setPixelSize(slot.height);
            const QFontMetrics metrics(font);
            const int cell = metrics.ascent() + metrics.descent();
            if (cell > 0) {
                font.setPixelSize(std::max(1, slot.height * slot.height / cell));
            }
        } else {
            font.setPixelSize(slot.height);
        }
    }
    return font;
}

}  // namespace

void Replay(QPainter& painter, const DrawList& list, const ReplayOptions& options) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, options.antialias);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.translate(options.origin);
    painter.setPen(ToPen(SelectPen{}));
    painter.setFont(options.defaultFont);
    QPen linePen = painter.pen();
    QColor textColor = Qt::black;
    QColor backColor = Qt::white;
    bool opaque = true;
    QPoint position(0, 0);

    for (const DrawOp& op : list) {
        if (const auto* pen = std::get_if<SelectPen>(&op)) {
            linePen = ToPen(*pen);
        } else if (const auto* font = std::get_if<SelectFont>(&op)) {
            painter.setFont(ToFont(*font, options.defaultFont));
        } else if (const auto* text = std::get_if<SetTextColor>(&op)) {
            textColor = ToColor(text->color);
        } else if (const auto* back = std::get_if<SetBackColor>(&op)) {
            backColor = ToColor(back->color);
        } else if (const auto* mode = std::get_if<SetBackOpaque>(&op)) {
            opaque = mode->opaque;
        } else if (const auto* move = std::get_if<MoveTo>(&op)) {
            position = QPoint(move->x, move->y);
        } else if (const auto* line = std::get_if<LineTo>(&op)) {
            const QPoint to(line->x, line->y);
            painter.setPen(linePen);
            painter.drawLine(position, to);
            position = to;
        } else if (const auto* draw = std::get_if<DrawText>(&op)) {
            const QString string = QString::fromStdString(draw->text);
            const QFontMetrics metrics(painter.font());
            const int width = metrics.horizontalAdvance(string);
            int left = draw->x;
            if (draw->halign == HAlign::Center) {
                left -= width / 2;
            } else if (draw->halign == HAlign::Right) {
                left -= width;
            }
            int top = draw->y;
            if (draw->valign == VAlign::Baseline) {
                top -= metrics.ascent();
            } else if (draw->valign == VAlign::Bottom) {
                top -= metrics.height();
            }
            if (opaque) {
                painter.fillRect(QRect(left, top, width, metrics.height()), backColor);
            }
            painter.setPen(textColor);
            painter.drawText(QPoint(left, top + metrics.ascent()), string);
        }
    }
    painter.restore();
}

}  // namespace zx840
