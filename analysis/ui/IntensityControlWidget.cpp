#include "analysis/ui/IntensityControlWidget.h"

#include <QMouseEvent>
#include <QPolygon>

namespace Tovanix {

namespace {

QColor ToQColor(ControlColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QPolygon ToPolygon(const std::vector<ControlPoint>& points) {
    QPolygon polygon;
    for (const ControlPoint& point : points) {
        polygon << QPoint(point.x, point.y);
    }
    return polygon;
}

ControlPoint ToPoint(const QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    return {position.x(), position.y()};
}

}  // namespace

void QtIntensityCanvas::DrawPolyline(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) {
    m_painter.save();
    m_painter.setPen(QPen(ToQColor(colour), penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    m_painter.drawPolyline(ToPolygon(points));
    m_painter.restore();
}

void QtIntensityCanvas::DrawFilledRect(const ControlRect& rect, ControlColour colour) {
    // Outline and fill share the colour: one fill of the covered pixels,
    // leaving out the right column and bottom row.
    if (rect.right > rect.left && rect.bottom > rect.top) {
        m_painter.fillRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                           ToQColor(colour));
    }
}

void QtIntensityCanvas::DrawFilledPolygon(const std::vector<ControlPoint>& points, ControlColour colour,
                                          int penWidth) {
    m_painter.save();
    m_painter.setPen(QPen(ToQColor(colour), penWidth));
    m_painter.setBrush(ToQColor(colour));
    m_painter.drawPolygon(ToPolygon(points));
    m_painter.restore();
}

IntensityControlWidget::IntensityControlWidget(QWidget* parent) : QWidget(parent) {
    setMinimumSize(60, 30);
}

void IntensityControlWidget::PlaceControl() {
    const int stripHeight = std::max((height() - 2) * 2 / 3, 2);
    int markerHeight = stripHeight / 2;
    markerHeight += markerHeight % 2;
    const int halfWidth = markerHeight / 2;
    m_control.m_rect = {halfWidth, 0, width() - 1 - halfWidth, stripHeight};
}

void IntensityControlWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceControl();
}

void IntensityControlWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QtIntensityCanvas canvas(painter);
    CString errorText;
    // A busy histogram is drawn on the next repaint.
    m_control.Draw(canvas, errorText);
}

void IntensityControlWidget::MarkerMoved(int result) {
    if (result == 1 || result == 2) {
        update();
        emit markersChanged(m_control.m_lower_intensity, m_control.m_upper_intensity);
    }
}

void IntensityControlWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_control.OnButtonDown(ToPoint(event)) == 1) {
        update();
    }
}

void IntensityControlWidget::mouseMoveEvent(QMouseEvent* event) {
    MarkerMoved(m_control.OnMouseMove(ToPoint(event)));
}

void IntensityControlWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The release point is the marker's last position.
    if (m_control.m_dragging_lower || m_control.m_dragging_upper) {
        MarkerMoved(m_control.OnMouseMove(ToPoint(event)));
    }
    m_control.m_dragging_lower = false;
    m_control.m_dragging_upper = false;
}

}  // namespace Tovanix
