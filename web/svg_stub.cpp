#include "web/svg_stub.h"

#include "web/web_html.h"

namespace zx840 {
namespace {

std::string Color(const Rgb& c) {
    return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) +
           ")";
}

}  // namespace

std::string SvgFromDrawList(const DrawList& list, int width, int height) {
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" +
                      h + "\" viewBox=\"0 0 " + w + " " + h + "\"><rect width=\"" + w +
                      "\" height=\"" + h + "\" fill=\"white\"/>";
    SelectPen pen;
    SelectFont font{"DejaVu Sans", 13};
    Rgb text;
    std::string points;
    MoveTo at;   // where the polyline being collected starts
    MoveTo cur;  // the current position
    const auto flush = [&] {
        if (!points.empty()) {
            out += "<polyline fill=\"none\" stroke=\"" + Color(pen.color) + "\" stroke-width=\"" +
                   std::to_string(pen.width) + "\"" +
                   (pen.style == PenStyle::Dash ? " stroke-dasharray=\"4 2\"" : "") + " points=\"" +
                   std::to_string(at.x) + "," + std::to_string(at.y) + points + "\"/>";
            points.clear();
        }
    };
    for (const DrawOp& op : list) {
        if (const auto* line = std::get_if<LineTo>(&op)) {
            if (points.empty()) {
                at = cur;
            }
            points += ' ';
            points += std::to_string(line->x);
            points += ',';
            points += std::to_string(line->y);
            cur = MoveTo{line->x, line->y};
            continue;
        }
        flush();
        if (const auto* move = std::get_if<MoveTo>(&op)) {
            cur = *move;
        } else if (const auto* p = std::get_if<SelectPen>(&op)) {
            pen = *p;
        } else if (const auto* f = std::get_if<SelectFont>(&op)) {
            font = *f;
        } else if (const auto* c = std::get_if<SetTextColor>(&op)) {
            text = c->color;
        } else if (const auto* t = std::get_if<DrawText>(&op)) {
            const char* anchor = t->halign == HAlign::Left     ? "start"
                                 : t->halign == HAlign::Center ? "middle"
                                                               : "end";
            const char* baseline = t->valign == VAlign::Top        ? "hanging"
                                   : t->valign == VAlign::Baseline ? "alphabetic"
                                                                   : "text-after-edge";
            out += "<text x=\"" + std::to_string(t->x) + "\" y=\"" + std::to_string(t->y) +
                   "\" font-size=\"" + std::to_string(font.height) + "\" text-anchor=\"" + anchor +
                   "\" dominant-baseline=\"" + baseline + "\" fill=\"" + Color(text) + "\">" +
                   HtmlEscape(t->text) + "</text>";
        }
    }
    flush();
    return out + "</svg>";
}

}  // namespace zx840
