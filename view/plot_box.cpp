#include "view/plot_box.h"

#include <QPainter>

#include "draw/painter_replay.h"

namespace zx840 {

PlotBox::PlotBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    // White under any theme; the plots bring their own colours, and
    // anything drawn in the text colour is black.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setFocusPolicy(Qt::NoFocus);
}

void PlotBox::SetPicture(DrawList picture) {
    picture_ = std::move(picture);
    update();
}

void PlotBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.empty()) {
        return;
    }
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.setClipRect(client);
    Replay(painter, picture_, {font(), client.topLeft(), false});
}

}  // namespace zx840
