// Drawing operations written out as an SVG picture: the same list the
// painter replays on a widget, a printer or a PDF, for a browser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "draw/draw_ops.h"

namespace zx840 {

struct SvgOptions {
    std::string fontFamily = "DejaVu Sans";  // until a SelectFont operation
    int fontHeight = 13;                     // pixels, likewise
    std::optional<Rgb> background = kWhite;  // a rectangle under everything
    bool crisp = true;                       // pixel lines, as the screen draws them
};

// One `<svg>` element of `width` × `height` user units. It starts, as a fresh
// drawing context does, with a black one-unit pen, black text on an opaque
// white background and the current position at the origin. A move followed
// by lines is one `<polyline>` holding every vertex; a text is a `<text>`
// anchored as the operation says, behind it its background while that is
// opaque. Texts are escaped; broken UTF-8 and control characters become
// U+FFFD.
// Text as XML or HTML character data or a double-quoted attribute value:
// & < > " ' escaped, broken UTF-8 and control characters as U+FFFD.
std::string MarkupText(std::string_view text);

std::string SvgFromDrawList(const DrawList& list, int width, int height,
                            const SvgOptions& options = {});

}  // namespace zx840
