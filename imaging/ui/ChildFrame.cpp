#include "imaging/ui/ChildFrame.h"

#include "imaging/ui/ImageViewWidget.h"

CChildFrame::CChildFrame(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
}

CChildFrame::~CChildFrame() {
    // The view leaves its document before the document may be deleted.
    delete m_view;
    m_view = nullptr;
    if (m_destroyed) {
        m_destroyed();
    }
}

void CChildFrame::SetView(ImageViewWidget* view) {
    m_view = view;
    setWidget(view);
}
