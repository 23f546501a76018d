#include "draw/draw_ops.h"

#include <string_view>
#include <type_traits>

namespace zx840 {

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string ColorText(const Rgb& c) {
    std::string s = "#";
    for (std::uint8_t v : {c.r, c.g, c.b}) {
        s += kHexDigits[v >> 4];
        s += kHexDigits[v & 0x0f];
    }
    return s;
}

// Double quotes, with quotes, backslashes and line breaks escaped so that one
// operation always stays on one line.
std::string Quoted(std::string_view text) {
    std::string s = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                s += "\\\"";
                break;
            case '\\':
                s += "\\\\";
                break;
            case '\n':
                s += "\\n";
                break;
            case '\r':
                s += "\\r";
                break;
            case '\t':
                s += "\\t";
                break;
            default:
                s += c;
        }
    }
    s += '"';
    return s;
}

std::string_view AlignText(HAlign a) {
    switch (a) {
        case HAlign::Left:
            return "left";
        case HAlign::Center:
            return "center";
        case HAlign::Right:
            return "right";
    }
    return "?";
}

std::string_view AlignText(VAlign a) {
    switch (a) {
        case VAlign::Top:
            return "top";
        case VAlign::Baseline:
            return "baseline";
        case VAlign::Bottom:
            return "bottom";
    }
    return "?";
}

std::string Point(int x, int y) {
    return std::to_string(x) + " " + std::to_string(y);
}

}  // namespace

std::string Describe(const DrawOp& op) {
    return std::visit(
        [](const auto& o) -> std::string {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, SelectPen>) {
                return std::string("pen ") + (o.style == PenStyle::Dash ? "dash " : "solid ") +
                       std::to_string(o.width) + " " + ColorText(o.color);
            } else if constexpr (std::is_same_v<T, SelectFont>) {
                return "font " + Quoted(o.family) + " " + std::to_string(o.height) + " " +
                       std::to_string(o.weight) + (o.cellHeight ? " cell" : " char");
            } else if constexpr (std::is_same_v<T, SetTextColor>) {
                return "textcolor " + ColorText(o.color);
            } else if constexpr (std::is_same_v<T, SetBackColor>) {
                return "backcolor " + ColorText(o.color);
            } else if constexpr (std::is_same_v<T, SetBackOpaque>) {
                return o.opaque ? "backmode opaque" : "backmode transparent";
            } else if constexpr (std::is_same_v<T, MoveTo>) {
                return "move " + Point(o.x, o.y);
            } else if constexpr (std::is_same_v<T, LineTo>) {
                return "line " + Point(o.x, o.y);
            } else {
                static_assert(std::is_same_v<T, DrawText>);
                return "text " + Point(o.x, o.y) + " " + std::string(AlignText(o.halign)) + " " +
                       std::string(AlignText(o.valign)) + " " + Quoted(o.text);
            }
        },
        op);
}

std::string Describe(const DrawList& list) {
    std::string s;
    for (const DrawOp& op : list) {
        s += Describe(op);
        s += '\n';
    }
    return s;
}

}  // namespace zx840
