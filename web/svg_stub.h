// Stand-in for draw/svg_output.h until it is merged: drawing operations as
// one <svg> element, a move followed by lines as one <polyline>.
#pragma once

#include <string>

#include "draw/draw_ops.h"

namespace zx840 {

std::string SvgFromDrawList(const DrawList& list, int width, int height);

}  // namespace zx840
