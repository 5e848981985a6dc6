#pragma once

// Reference images: an image as it was shown, overlays and all, saved as a
// bitmap beside the image file ("<image without extension>.REF.BMP", then
// ".REF[1].BMP" and so on), through the render list like every drawing.

#include <functional>

#include "imaging/RenderRequest.h"
#include "platform/CString.h"
#include "platform/Rect.h"

namespace cv {
class Mat;
}
class CImageDoc;

// The first free reference file name of an image. False when .REF.BMP and
// .REF[1].BMP to .REF[999].BMP all exist; `name` then holds the last tried.
bool ReferenceImageFileName(const char* imagePath, CString& name);

// The part of a drawn target that shows the image: for a view (left 0) the
// centred area of the image's aspect ratio, otherwise the whole target.
// Origin and size are in the target window's coordinates.
struct ReferenceCrop {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
ReferenceCrop ComputeReferenceCrop(const RECT& target, int imageColumns, int imageRows);

// Saves the image area of a drawn picture under the next free reference
// name of the request's image; failures are logged.
void SaveReferenceBitmap(const RenderRequest& request, const cv::Mat& picture);

// Opens the image (or finds its open document) and queues a request that
// saves its reference image; with `autoScaleAndClose` the document is closed
// once the picture is saved. User-interface thread.
bool SaveReferenceImage(const char* path, CString& error, bool autoScaleAndClose);

// How SaveReferenceImage opens a document: the image document template's
// open, installed by the views' library. Null when the file is not opened.
using ImageDocumentOpener = std::function<CImageDoc*(const char* path)>;
void SetImageDocumentOpener(ImageDocumentOpener opener);
// Opens the image as a document through the installed opener; null when
// none is installed or the file does not open. User-interface thread.
CImageDoc* OpenImageDocument(const char* path);
