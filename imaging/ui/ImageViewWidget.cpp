#include "imaging/ui/ImageViewWidget.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "imaging/ui/RenderImage.h"

ImageViewWidget::ImageViewWidget(CImageDoc* document, QWidget* parent) : QAbstractScrollArea(parent) {
    CreateViewFont();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setRange(0, 1000);
    verticalScrollBar()->setRange(0, 1000);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_view = std::make_unique<CImageView>(document, this);
    m_handle = RegisterRenderTarget(this);
}

ImageViewWidget::~ImageViewWidget() {
    // The document stops reaching the view first; then the render thread
    // finds no window for requests still pending.
    m_view.reset();
    UnregisterRenderTarget(m_handle);
}

RECT ImageViewWidget::GetClientRect() const {
    RECT rect;
    rect.right = viewport()->width();
    rect.bottom = viewport()->height();
    return rect;
}

void ImageViewWidget::Invalidate() {
    // Any thread may ask; many asks before the next drawing make one request.
    if (m_drawQueued.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(this, [this]() { DrawNow(); }, Qt::QueuedConnection);
}

void ImageViewWidget::DrawNow() {
    m_drawQueued = false;
    m_view->OnDraw();
}

void ImageViewWidget::SetScrollPositions(int horizontal, int vertical) {
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
}

void ImageViewWidget::TitleChanged() {
    if (m_titleChanged) {
        m_titleChanged();
    }
}

void ImageViewWidget::StartOneShotTimer(int id, int milliseconds) {
    QTimer::singleShot(milliseconds, this, [this, id] { m_view->OnTimer(id); });
}

void ImageViewWidget::ShowWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void ImageViewWidget::PresentPicture(const cv::Mat& picture) {
    // The render thread's picture is not touched again after this; the
    // matrix header keeps its pixels alive until it is shown.
    cv::Mat shared = picture;
    QMetaObject::invokeMethod(this, [this, shared]() { ShowPicture(shared); }, Qt::QueuedConnection);
}

void ImageViewWidget::ShowPicture(const cv::Mat& picture) {
    m_picture = picture;
    viewport()->update();
    if (m_pictureShown) {
        m_pictureShown();
    }
}

void ImageViewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (!m_picture.empty()) {
        const QImage image(m_picture.data, m_picture.cols, m_picture.rows, static_cast<qsizetype>(m_picture.step),
                           QImage::Format_RGB32);
        painter.drawImage(QPoint(0, 0), image);
    }
}

void ImageViewWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_view->m_bRedraw = true;
    m_view->m_bResized = true;
    Invalidate();
}

void ImageViewWidget::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    Invalidate();
}
