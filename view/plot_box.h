// A sunken white box that shows one plot, given as drawing operations in
// the coordinates of its client area (inside the edge).
#pragma once

#include <QFrame>

#include "draw/draw_ops.h"

namespace zx840 {

class PlotBox : public QFrame {
    Q_OBJECT
  public:
    explicit PlotBox(QWidget* parent = nullptr);

    void SetPicture(DrawList picture);
    void Clear() { SetPicture({}); }
    const DrawList& Picture() const { return picture_; }
    // The client area the picture is computed for.
    QSize ClientSize() const { return contentsRect().size(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    DrawList picture_;
};

}  // namespace zx840
