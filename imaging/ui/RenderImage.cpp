#include "imaging/ui/RenderImage.h"

#include <cstdio>
#include <string>
#include <vector>

#include <QImage>

#include <opencv2/core.hpp>

#include "analysis/BGImages.h"
#include "analysis/DisplayMapping.h"
#include "analysis/ui/DisplayBlit.h"
#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/ReferenceImage.h"
#include "support/Profile.h"

std::unique_ptr<QFont> g_ViewFont;

namespace {

int ReadIntSetting(const char* section, const char* key, int defaultValue) {
    char text[32] = {};
    int value = 0;
    if (Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, g_IniPath) &&
        std::sscanf(text, "%d", &value) == 1) {
        return value;
    }
    return defaultValue;
}

// The image type a request shows: from its file name, or the live image
// type chosen in the main window for the live preview. False when none.
bool ImageTypeOfRequest(const RenderRequest& request, CString& type) {
    if (request.m_strImagePath.IsEmpty()) {
        type = GetImageTypeText();
        return !type.IsEmpty();
    }
    const std::string& path = request.m_strImagePath.str();
    const size_t slash = path.find_last_of("\\/");
    // The whole file name: a manual capture's name carries its type up to
    // the extension.
    Tovanix::String name;
    if (!GetImageTypeNameFromFileName(slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1, name)) {
        return false;
    }
    type = name.c_str();
    return true;
}

// The output levels the display window maps into.
void ReadOutputLevels(const RenderRequest& request, int& low, int& high) {
    low = ReadIntSetting("AutoScale", "LowMappingDisplayIntensity", 25);
    high = ReadIntSetting("AutoScale", "BrightFieldHighMappingDisplayIntensity", 200);
    CString type;
    if (ImageTypeOfRequest(request, type) && type.CompareNoCase("BRIGHTFIELD") != 0) {
        high = ReadIntSetting("AutoScale", "FluorescenceHighMappingDisplayIntensity", 255);
    }
}

int16_t ToLevel(int value) {
    return static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

void InvertArea(QPainter& painter, int x, int y, int width, int height) {
    if (width > 0 && height > 0) {
        painter.fillRect(x, y, width, height, Qt::white);
    }
}

// Runs `draw` with the painter set to invert what it fills.
template <typename Draw>
void WithInvertingPainter(CDC* dc, Draw draw) {
    QPainter& painter = dc->Painter();
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(Qt::NoPen);
    draw(painter);
    painter.restore();
}

}  // namespace

void CreateViewFont() {
    if (g_ViewFont) {
        return;
    }
    // Century Gothic is not shipped with Linux; a geometric sans of the same
    // kind takes its place where it is missing.
    QFont::insertSubstitution("Century Gothic", "URW Gothic");
    g_ViewFont = std::make_unique<QFont>("Century Gothic");
    g_ViewFont->setPixelSize(40);
    g_ViewFont->setWeight(QFont::Bold);
}

bool RenderImage(RenderRequest* request, CDC* dc) {
    if (!request || !dc || !request->m_pImage) {
        return false;
    }
    const RECT& target = request->m_rcTarget;
    const int width = target.right - target.left + 1;
    const int height = target.bottom - target.top + 1;
    if (width <= 0 || height <= 0) {
        return false;
    }

    if (request->m_bResample) {
        delete request->m_pDisplayGrid;
        request->m_pDisplayGrid = nullptr;
    }
    if (!request->m_pDisplayGrid) {
        delete request->m_pOverlayGrid;
        request->m_pOverlayGrid = nullptr;
        auto grid = std::make_unique<std::vector<uint16_t>>();
        auto overlayGrid = request->m_pOverlayCodes ? std::make_unique<std::vector<uint8_t>>() : nullptr;
        if (!Tovanix::SampleImageToDisplayGrid(*request->m_pImage, *grid, request->m_dViewLeft,
                                                request->m_dViewRight, request->m_dViewTop,
                                                request->m_dViewBottom, width, height, request->m_pOverlayCodes,
                                                overlayGrid.get())) {
            return false;
        }
        request->m_pDisplayGrid = grid.release();
        request->m_pOverlayGrid = overlayGrid && !overlayGrid->empty() ? overlayGrid.release() : nullptr;
    }
    request->m_bResample = false;

    int low = 0;
    int high = 0;
    ReadOutputLevels(*request, low, high);

    const int count = width * height;
    // A picture of exactly the target's size takes the display pixels
    // directly (its bytes are laid out as they are); any other device gets
    // them through a blit.
    cv::Mat* picture = dc->Picture();
    const bool direct = picture && picture->type() == CV_8UC4 && picture->isContinuous() &&
                        picture->cols == width && picture->rows == height;
    std::vector<uint32_t> buffer;
    if (!direct) {
        buffer.resize(static_cast<size_t>(count));
    }
    uint32_t* pixels = direct ? reinterpret_cast<uint32_t*>(picture->data) : buffer.data();
    if (!Tovanix::MapIntensitiesToDisplayColours(
            request->m_pDisplayGrid->data(), count, pixels, request->m_nDisplayMax, request->m_nDisplayMin,
            request->m_pOverlayGrid ? request->m_pOverlayGrid->data() : nullptr, ToLevel(low), ToLevel(high))) {
        return false;
    }
    if (!direct && !Tovanix::BlitPixelsToDC(dc->Painter(), width, height, pixels, target.left, target.top)) {
        return false;
    }

    if (request->m_bSaveReference && dc->Picture()) {
        SaveReferenceBitmap(*request, *dc->Picture());
    }
    return true;
}

bool RenderRequestIntoPicture(RenderRequest* request, cv::Mat& picture) {
    if (picture.empty() || picture.type() != CV_8UC4) {
        return false;
    }
    QImage image(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                 QImage::Format_RGB32);
    QPainter painter(&image);
    // The picture starts at the target's top-left corner; drawing uses the
    // target window's coordinates.
    painter.translate(-request->m_rcTarget.left, -request->m_rcTarget.top);
    CDC dc(painter, &picture);
    request->m_pDC = &dc;
    const bool drawn = RenderImage(request, &dc);
    request->m_pDC = nullptr;
    return drawn;
}

void InvertRectOutline(CDC* dc, const RECT* rect) {
    if (!dc || !rect) {
        return;
    }
    WithInvertingPainter(dc, [rect](QPainter& painter) {
        const int height = rect->bottom - rect->top + 1;
        const int width = rect->right - rect->left + 1;
        // Every outline pixel once, corners included, so that a second call
        // restores the pixels.
        InvertArea(painter, rect->left, rect->top, 1, height);
        if (rect->right != rect->left) {
            InvertArea(painter, rect->right, rect->top, 1, height);
        }
        InvertArea(painter, rect->left + 1, rect->top, width - 2, 1);
        if (rect->bottom != rect->top) {
            InvertArea(painter, rect->left + 1, rect->bottom, width - 2, 1);
        }
    });
}

void InvertRectTopBottom(CDC* dc, const RECT* rect) {
    if (!dc || !rect) {
        return;
    }
    WithInvertingPainter(dc, [rect](QPainter& painter) {
        const int width = rect->right - rect->left + 1;
        InvertArea(painter, rect->left, rect->top, width, 1);
        if (rect->bottom != rect->top) {
            InvertArea(painter, rect->left, rect->bottom, width, 1);
        }
    });
}
