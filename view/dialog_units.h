// Dialog units: layouts given in units of the dialog font's average
// character size (a quarter of its width, an eighth of its height).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace zx840 {

// The dialog font: Verdana at `pointSize`, DejaVu Sans where Verdana is not
// installed.
QFont DialogFont(int pointSize = 10);

struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character cell height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// Dialog units to pixels, rounded to the nearest pixel.
int DluToPixelsX(int dlu, const DialogBaseUnits& units);
int DluToPixelsY(int dlu, const DialogBaseUnits& units);
QRect DluToPixels(const QRect& dlu, const DialogBaseUnits& units);
QSize DluToPixels(const QSize& dlu, const DialogBaseUnits& units);

}  // namespace zx840
