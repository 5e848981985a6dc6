#pragma once

// Drawing a render request on the render thread: the image sampled to the
// target's size, mapped linearly from its display window into the
// configured output levels, and its reference image saved when asked.
// Pictures are drawn with a QPainter on an image in memory, never on a
// window, so this runs off the user-interface thread.

#include <functional>
#include <memory>

#include <QFont>
#include <QPainter>

#include "imaging/MfgTestOverlay.h"
#include "imaging/RenderRequest.h"
#include "platform/Rect.h"

namespace cv {
class Mat;
}

// A drawing context: a painter in the target window's coordinates and, when
// it draws into a picture in memory, that picture.
class CDC {
public:
    CDC(QPainter& painter, cv::Mat* picture) : m_painter(painter), m_picture(picture) {}
    QPainter& Painter() { return m_painter; }
    cv::Mat* Picture() { return m_picture; }

private:
    QPainter& m_painter;
    cv::Mat* m_picture;
};

// Draws the request: the image mapped into the output levels of its type,
// then the overlays (magnet and channel lines, the flow-split line,
// detections, regions of interest with their projections, the zoom centre,
// the manufacturing-test brightness window and symbols), then the reference
// image when asked. True when the image was drawn (false for an empty image,
// a failed sampling or mapping, or a run screen target while the run screen
// is hidden: nothing is drawn then).
bool RenderImage(RenderRequest* request, CDC* dc);

// Draws one manufacturing-test symbol with the pen already set: the
// destination rectangle of the image in the window, the visible part, the
// window rectangle of the whole image, the image size and the symbol's
// position relative to that rectangle's top-left corner. DrawMfgTestSymbol
// draws them unless another drawer is installed (tests); an empty drawer
// restores it.
using MfgTestSymbolDrawer =
    std::function<bool(const MfgTestSymbol& symbol, CDC* dc, const RECT& destination, double x0, double x1,
                       double y0, double y1, const RECT& imageRect, int cols, int rows, int dx, int dy)>;
void SetMfgTestSymbolDrawer(MfgTestSymbolDrawer drawer);

// Draws a request into a render thread picture with RenderImage; the
// function the render thread is given.
bool RenderRequestIntoPicture(RenderRequest* request, cv::Mat& picture);

// Inverts the one-pixel outline of the rectangle, right and bottom edges
// included; a second call restores the pixels.
void InvertRectOutline(CDC* dc, const RECT* rect);
// The same for the top and bottom rows only.
void InvertRectTopBottom(CDC* dc, const RECT* rect);

// The font of text drawn over images; made by the first view.
extern std::unique_ptr<QFont> g_ViewFont;
void CreateViewFont();
