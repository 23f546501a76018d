// Replays drawing operations with a QPainter.
#pragma once

#include <QFont>
#include <QPoint>

#include "draw/draw_ops.h"

class QPainter;

namespace zx840 {

struct ReplayOptions {
    QFont defaultFont;       // until a SelectFont operation
    QPoint origin{0, 0};     // added to every coordinate
    bool antialias = false;  // screens draw crisp pixel lines
};

// Draws `list` in order. Starts, like a fresh drawing context, with a black
// one-unit pen, black text on an opaque white background, the current
// position at the origin.
void Replay(QPainter& painter, const DrawList& list, const ReplayOptions& options);

}  // namespace zx840
