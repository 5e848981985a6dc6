#pragma once

// Draws projections through a QPainter: the image view hands this canvas to
// ComputeAndPlotProjection when it paints a projection beside its region.

#include "analysis/Projection.h"

class QPainter;

class PainterProjectionCanvas : public ProjectionCanvas {
public:
    explicit PainterProjectionCanvas(QPainter& painter) : m_painter(painter) {}
    void Polyline(const std::vector<ProjectionPoint>& points, const ProjectionPen& pen) override;

private:
    QPainter& m_painter;
};
