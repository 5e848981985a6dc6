#include "analysis/ui/DisplayBlit.h"

#include <QImage>
#include <QPaintDevice>

#include "analysis/DisplayMapping.h"

namespace Tovanix {

namespace {

// The colour table of 8-bit display pixels: indices 10..245 are the greys
// from black to white, below and above them black and white.
QList<QRgb> GreyIndexTable() {
    const GreyPalette* palette = GetGreyPalette();
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i) {
        const int entry = i < 10 ? 0 : i > 245 ? 255 : (i - 10) * 255 / 235;
        const GreyPalette::Entry& grey = palette->entries[entry];
        table[i] = qRgb(grey.red, grey.green, grey.blue);
    }
    return table;
}

QImage::Format FormatForDepth(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 32:
            return QImage::Format_RGB32;
        case 24:
            return QImage::Format_BGR888;
        case 16:
            return QImage::Format_RGB16;
        case 8:
            return QImage::Format_Indexed8;
        default:
            return QImage::Format_Invalid;
    }
}

void DrawStretched(QPainter& dc, const cv::Mat& picture, const QRect& destination) {
    const QImage image(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                       QImage::Format_RGB32);
    dc.save();
    dc.setRenderHint(QPainter::SmoothPixmapTransform, true);
    dc.drawImage(destination, image);
    dc.restore();
}

}  // namespace

bool BlitPixelsToDC(QPainter& dc, int width, int height, uint32_t* pixels, int x, int y) {
    if (!dc.device() || width <= 0 || height <= 0) {
        return false;
    }
    const int depth = dc.device()->depth();
    const QImage::Format format = FormatForDepth(depth);
    if (format == QImage::Format_Invalid || !ConvertPixelsToDisplayDepth(width, height, pixels, depth)) {
        return false;
    }
    QImage image(reinterpret_cast<const uchar*>(pixels), width, height, DisplayRowBytes(width, depth), format);
    if (image.isNull()) {
        return false;
    }
    if (depth == 8) {
        static const QList<QRgb> table = GreyIndexTable();
        image.setColorTable(table);
    }
    dc.drawImage(QPoint(x, y), image);
    return true;
}

int DrawImageFileTinted(const char* path, const char* channelName, QPainter& dc, const QRect& destination) {
    cv::Mat picture;
    if (MakeTintedPicture(path ? path : "", channelName ? channelName : "", picture)) {
        DrawStretched(dc, picture, destination);
    }
    return 1;
}

int DrawCompositeImageFiles(const char* path1, const char* path2, const char* path3, QPainter& dc,
                            const QRect& destination) {
    cv::Mat picture;
    if (MakeCompositePicture(path1 ? path1 : "", path2 ? path2 : "", path3 ? path3 : "", picture)) {
        DrawStretched(dc, picture, destination);
    }
    return 1;
}

}  // namespace Tovanix
