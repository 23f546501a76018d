#include "draw/svg_output.h"

#include <cstdio>
#include <set>

#include "record/archive.h"
#include "record/text_pieces.h"

namespace zx840 {
namespace {

std::string Hex(const Rgb& rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb.r, rgb.g, rgb.b);
    return text;
}

// Text as XML character data or an attribute value in double quotes.
void AppendEscaped(std::string& out, std::string_view text) {
    const std::string valid = ToValidUtf8(text);
    for (const char c : valid) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                    out += "\xEF\xBF\xBD";  // XML holds no other control character
                } else {
                    out += c;
                }
        }
    }
}

// The font's height as the painter takes it: a cell height includes the
// internal leading, about a seventh of it for the fonts the pictures use.
int FontSize(const SelectFont& font) {
    return font.cellHeight ? font.height * 7 / 8 : font.height;
}

class SvgWriter {
  public:
    SvgWriter(std::string& out, const SvgOptions& options) : out_(out) {
        font_.family = options.fontFamily;
        font_.height = options.fontHeight;
    }

    void Apply(const DrawOp& op) {
        if (const auto* pen = std::get_if<SelectPen>(&op)) {
            Flush();
            pen_ = *pen;
        } else if (const auto* font = std::get_if<SelectFont>(&op)) {
            font_ = *font;
        } else if (const auto* text = std::get_if<SetTextColor>(&op)) {
            textColor_ = text->color;
        } else if (const auto* back = std::get_if<SetBackColor>(&op)) {
            backColor_ = back->color;
        } else if (const auto* mode = std::get_if<SetBackOpaque>(&op)) {
            opaque_ = mode->opaque;
        } else if (const auto* move = std::get_if<MoveTo>(&op)) {
            Flush();
            x_ = move->x;
            y_ = move->y;
        } else if (const auto* line = std::get_if<LineTo>(&op)) {
            if (points_.empty()) {
                AppendPoint(x_, y_);
            }
            AppendPoint(line->x, line->y);
            x_ = line->x;
            y_ = line->y;
        } else if (const auto* draw = std::get_if<DrawText>(&op)) {
            Flush();
            Text(*draw);
        }
    }

    void Flush() {
        if (points_.empty()) {
            return;
        }
        AppendText(out_, "<polyline fill=\"none\" stroke=\"", Hex(pen_.color), "\" stroke-width=\"",
                   std::to_string(pen_.width), "\"");
        if (pen_.style == PenStyle::Dash) {
            const std::string dash = std::to_string(3 * pen_.width);
            AppendText(out_, " stroke-dasharray=\"", dash, " ", dash, "\"");
        }
        out_ += pen_.width > 1 ? " stroke-linecap=\"round\" stroke-linejoin=\"round\"" : "";
        out_ += " points=\"";
        out_ += points_;
        out_ += "\"/>\n";
        points_.clear();
    }

    // The filters that lay a colour behind a text's box, one per colour.
    const std::set<std::string>& Backgrounds() const { return backgrounds_; }

  private:
    void AppendPoint(int x, int y) {
        if (!points_.empty()) {
            points_ += ' ';
        }
        // Pixel centres: a one-unit line at y covers the pixel row y, as on screen.
        AppendText(points_, std::to_string(x), ".5,", std::to_string(y), ".5");
    }

    void Text(const DrawText& text) {
        static constexpr const char* kAnchor[] = {"start", "middle", "end"};
        static constexpr const char* kBaseline[] = {"text-before-edge", "alphabetic",
                                                    "text-after-edge"};
        AppendText(out_, "<text x=\"", std::to_string(text.x), "\" y=\"", std::to_string(text.y),
                   "\" text-anchor=\"", kAnchor[static_cast<int>(text.halign)],
                   "\" dominant-baseline=\"", kBaseline[static_cast<int>(text.valign)],
                   "\" font-family=\"");
        AppendEscaped(out_, font_.family);
        AppendText(out_, "\" font-size=\"", std::to_string(FontSize(font_)), "\" font-weight=\"",
                   std::to_string(font_.weight), "\" fill=\"", Hex(textColor_), "\"");
        if (opaque_) {
            const std::string back = Hex(backColor_).substr(1);
            backgrounds_.insert(back);
            AppendText(out_, " filter=\"url(#back-", back, ")\"");
        }
        out_ += '>';
        AppendEscaped(out_, text.text);
        out_ += "</text>\n";
    }

    std::string& out_;
    SelectPen pen_;
    SelectFont font_;
    Rgb textColor_ = kBlack;
    Rgb backColor_ = kWhite;
    bool opaque_ = true;
    int x_ = 0;
    int y_ = 0;
    std::string points_;
    std::set<std::string> backgrounds_;
};

}  // namespace

std::string MarkupText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

std::string SvgFromDrawList(const DrawList& list, int width, int height,
                            const SvgOptions& options) {
    std::string body;
    SvgWriter writer(body, options);
    for (const DrawOp& op : list) {
        writer.Apply(op);
    }
    writer.Flush();

    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    std::string svg;
    AppendText(svg, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", w, "\" height=\"", h,
               "\" viewBox=\"0 0 ", w, " ", h, "\"");
    svg += options.crisp ? " shape-rendering=\"crispEdges\">\n" : ">\n";
    if (!writer.Backgrounds().empty()) {
        svg += "<defs>\n";
        for (const std::string& back : writer.Backgrounds()) {
            AppendText(svg, "<filter id=\"back-", back,
                       "\" x=\"0\" y=\"0\" width=\"1\" height=\"1\"><feFlood flood-color=\"#", back,
                       "\"/><feComposite in=\"SourceGraphic\"/></filter>\n");
        }
        svg += "</defs>\n";
    }
    if (options.background) {
        AppendText(svg, "<rect width=\"", w, "\" height=\"", h, "\" fill=\"",
                   Hex(*options.background), "\"/>\n");
    }
    svg += body;
    svg += "</svg>\n";
    return svg;
}

}  // namespace zx840
