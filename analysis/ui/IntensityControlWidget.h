#pragma once

// Painting of the intensity histogram control with a QPainter, and a small
// widget that hosts one control for the windows that show a single one.

#include <QPainter>
#include <QWidget>

#include "analysis/IntensityControl.h"

namespace Tovanix {

// Draws the control's shapes with a QPainter; the painter's pen and brush
// are put back after each shape.
class QtIntensityCanvas : public IntensityCanvas {
public:
    explicit QtIntensityCanvas(QPainter& painter) : m_painter(painter) {}
    void DrawPolyline(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) override;
    void DrawFilledRect(const ControlRect& rect, ControlColour colour) override;
    void DrawFilledPolygon(const std::vector<ControlPoint>& points, ControlColour colour, int penWidth) override;

private:
    QPainter& m_painter;
};

// A widget holding one control: the strip fills the widget's width (less
// room for the markers' half width) and two thirds of its height, the
// markers hang in the rest. Mouse presses, moves and releases drive the
// markers; markersChanged reports each change.
class IntensityControlWidget : public QWidget {
    Q_OBJECT

public:
    explicit IntensityControlWidget(QWidget* parent = nullptr);

    IntensityControl& Control() { return m_control; }

signals:
    void markersChanged(int lower, int upper);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PlaceControl();
    void MarkerMoved(int result);

    IntensityControl m_control;
};

}  // namespace Tovanix
