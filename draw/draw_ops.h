// A picture as a list of drawing operations, computed without any window
// system and replayed by a painter on a widget, a printer, a PDF or an image.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace zx840 {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kOlive{128, 128, 0};   // voltage
inline constexpr Rgb kPurple{128, 0, 128};  // current

enum class PenStyle { Solid, Dash };

// Select a pen for the following lines. Width in device units; lines wider
// than one unit have round ends and joins.
struct SelectPen {
    PenStyle style = PenStyle::Solid;
    int width = 1;
    Rgb color;
    friend bool operator==(const SelectPen&, const SelectPen&) = default;
};

// Select a font for the following texts; height in device units (the
// character height, without internal leading when `cellHeight` is false).
struct SelectFont {
    std::string family;
    int height = 0;
    int weight = 400;  // 400 normal, 700 bold
    bool cellHeight = false;
    friend bool operator==(const SelectFont&, const SelectFont&) = default;
};

struct SetTextColor {
    Rgb color;
    friend bool operator==(const SetTextColor&, const SetTextColor&) = default;
};

// Background colour behind text, used while the background mode is opaque.
struct SetBackColor {
    Rgb color;
    friend bool operator==(const SetBackColor&, const SetBackColor&) = default;
};

struct SetBackOpaque {
    bool opaque = true;
    friend bool operator==(const SetBackOpaque&, const SetBackOpaque&) = default;
};

struct MoveTo {
    int x = 0;
    int y = 0;
    friend bool operator==(const MoveTo&, const MoveTo&) = default;
};

// A line from the current position to (x, y), which becomes the current
// position.
struct LineTo {
    int x = 0;
    int y = 0;
    friend bool operator==(const LineTo&, const LineTo&) = default;
};

// Horizontal and vertical reference of a text's anchor point.
enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Baseline, Bottom };

struct DrawText {
    int x = 0;
    int y = 0;
    std::string text;  // UTF-8
    HAlign halign = HAlign::Left;
    VAlign valign = VAlign::Top;
    friend bool operator==(const DrawText&, const DrawText&) = default;
};

using DrawOp = std::variant<SelectPen, SelectFont, SetTextColor, SetBackColor, SetBackOpaque,
                            MoveTo, LineTo, DrawText>;
using DrawList = std::vector<DrawOp>;

// One line of text per operation, for test failure messages and debugging.
std::string Describe(const DrawOp& op);
std::string Describe(const DrawList& list);

}  // namespace zx840
