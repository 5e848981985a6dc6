#include "analysis/ui/ProjectionPainter.h"

#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QVector>

void PainterProjectionCanvas::Polyline(const std::vector<ProjectionPoint>& points, const ProjectionPen& pen)
{
    if (points.size() < 2)
        return;
    QVector<QPoint> polygon;
    polygon.reserve(static_cast<int>(points.size()));
    for (const ProjectionPoint& p : points)
        polygon.append(QPoint(p.x, p.y));
    m_painter.save();
    // Width 0 is Qt's cosmetic one-pixel pen, as the view expects.
    m_painter.setPen(QPen(QColor(pen.red, pen.green, pen.blue), pen.width, Qt::SolidLine));
    m_painter.drawPolyline(polygon.constData(), static_cast<int>(polygon.size()));
    m_painter.restore();
}
