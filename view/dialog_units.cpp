#include "view/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace zx840 {
namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont DialogFont(int pointSize) {
    const QString family =
        QFontDatabase::families().contains(QStringLiteral("Verdana")) ? "Verdana" : "DejaVu Sans";
    QFont font(family);
    font.setPointSize(pointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int DluToPixelsX(int dlu, const DialogBaseUnits& units) {
    return MulDiv(dlu, units.x, 4);
}
int DluToPixelsY(int dlu, const DialogBaseUnits& units) {
    return MulDiv(dlu, units.y, 8);
}

QRect DluToPixels(const QRect& dlu, const DialogBaseUnits& units) {
    const int left = DluToPixelsX(dlu.x(), units);
    const int top = DluToPixelsY(dlu.y(), units);
    return QRect(left, top, DluToPixelsX(dlu.x() + dlu.width(), units) - left,
                 DluToPixelsY(dlu.y() + dlu.height(), units) - top);
}

QSize DluToPixels(const QSize& dlu, const DialogBaseUnits& units) {
    return QSize(DluToPixelsX(dlu.width(), units), DluToPixelsY(dlu.height(), units));
}

}  // namespace zx840
