#include "imaging/ui/MfgTestSymbolDrawing.h"

#include <cmath>
#include <vector>

namespace {

constexpr int kSmallCrossArm = 25;

int Round(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

bool DrawMfgTestSymbol(const MfgTestSymbol& symbol, CDC* dc, const RECT& destination, double x0, double x1,
                       double y0, double y1, const RECT& imageRect, int width, int height, int dx, int dy) {
    QPainter& painter = dc->Painter();
    const int xs = imageRect.left + dx;
    const int ys = imageRect.top + dy;
    switch (symbol.type) {
    case 0:
        painter.drawLine(imageRect.left, ys, imageRect.right, ys);
        painter.drawLine(xs, imageRect.top, xs, imageRect.bottom);
        return true;
    case 1:
        painter.drawLine(xs - kSmallCrossArm, ys, xs + kSmallCrossArm, ys);
        painter.drawLine(xs, ys - kSmallCrossArm, xs, ys + kSmallCrossArm);
        return true;
    default:
        break;
    }
    if (symbol.type < kFirstUserMfgTestSymbolType) return false;
    // A copy taken under the list's lock: the script thread may be adding points.
    std::vector<MfgTestPoint> points;
    if (!CopyMfgTestSymbolTypePoints(symbol.type, points)) return false;
    if (width <= 0 || height <= 0 || x1 == x0 || y1 == y0) return true;
    const double L = destination.left, T = destination.top, R = destination.right, B = destination.bottom;
    auto X = [&](int px) { return dx + Round(L + ((static_cast<double>(px) / width) - x0) / (x1 - x0) * (R - L)); };
    auto Y = [&](int py) { return dy + Round(T + ((static_cast<double>(py) / height) - y0) / (y1 - y0) * (B - T)); };
    QPoint at;
    for (size_t i = 0; i < points.size(); ++i) {
        const QPoint next(X(points[i].x), Y(points[i].y));
        if (i > 0) painter.drawLine(at, next);
        at = next;
    }
    return true;
}
