#include "tools/ui/ActiveImageView.h"

#include <QMdiArea>

#include "app/VelloraApp.h"
#include "app/ui/MainFrame.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ui/ImageViewWidget.h"

namespace {

std::function<CImageView*()>& Source() {
    static std::function<CImageView*()> source;
    return source;
}

}  // namespace

CImageView* ActiveImageView() {
    if (Source()) return Source()();
    if (!theApp.m_pMainWnd) return nullptr;
    // The current window, not the active one: while a tool window has the
    // focus no image window is active.
    auto* frame = qobject_cast<CChildFrame*>(theApp.m_pMainWnd->mdiArea()->currentSubWindow());
    if (!frame || !frame->View()) return nullptr;
    return &frame->View()->View();
}

void SetActiveImageViewSource(std::function<CImageView*()> source) { Source() = std::move(source); }
