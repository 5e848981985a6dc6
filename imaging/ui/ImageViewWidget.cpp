#include "imaging/ui/ImageViewWidget.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "app/ui/ComputePixelsPerMMDlg.h"
#include "imaging/ImageDoc.h"
#include "imaging/ui/AdjustBoundariesDlg.h"
#include "imaging/ui/ChooseROI.h"
#include "imaging/ui/RenderImage.h"
#include "imaging/ui/ScaleIntensitiesDlg.h"
#include "platform/UiBridge.h"

#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>

namespace {

std::function<int(QDialog*)> g_dialogRunner;
std::function<bool(CString&)> g_saveAsPathSource;
std::function<void(const char*)> g_recentFileSink;

// Scroll bar actions as the view knows them.
ScrollCode CodeOfAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: return ScrollCode::LineUp;
        case QAbstractSlider::SliderSingleStepAdd: return ScrollCode::LineDown;
        case QAbstractSlider::SliderPageStepSub: return ScrollCode::PageUp;
        case QAbstractSlider::SliderPageStepAdd: return ScrollCode::PageDown;
        default: return ScrollCode::Other;
    }
}

// A cursor drawn for the line-placing modes: a horizontal bar with an arrow
// pointing at it from below (lower lines) or above (upper lines).
QCursor LineCursor(bool lower) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawLine(2, 16, 30, 16);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(2, 16, 30, 16);
    painter.setPen(QPen(Qt::black, 2));
    const int tip = lower ? 18 : 14;
    const int tail = lower ? 30 : 2;
    painter.drawLine(16, tip, 16, tail);
    painter.drawLine(16, tip, 12, lower ? tip + 5 : tip - 5);
    painter.drawLine(16, tip, 20, lower ? tip + 5 : tip - 5);
    painter.end();
    return QCursor(pixmap, 16, 16);
}

}  // namespace

void ImageViewWidget::SetDialogRunner(std::function<int(QDialog*)> runner) { g_dialogRunner = std::move(runner); }

void ImageViewWidget::SetSaveAsPathSource(std::function<bool(CString&)> source) {
    g_saveAsPathSource = std::move(source);
}

void ImageViewWidget::SetRecentFileSink(std::function<void(const char*)> sink) { g_recentFileSink = std::move(sink); }

ImageViewWidget::ImageViewWidget(CImageDoc* document, QWidget* parent) : QAbstractScrollArea(parent) {
    CreateViewFont();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setRange(0, 1000);
    verticalScrollBar()->setRange(0, 1000);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_view = std::make_unique<CImageView>(document, this);
    m_handle = RegisterRenderTarget(this);
    viewport()->setMouseTracking(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    ConnectScrollBar(true);
    ConnectScrollBar(false);
}

void ImageViewWidget::ConnectScrollBar(bool horizontal) {
    QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, horizontal](int action) {
        if (action == QAbstractSlider::SliderMove) return;  // thumb tracking changes nothing
        const ScrollCode code = CodeOfAction(action);
        if (code == ScrollCode::Other) return;
        m_view->OnScroll(horizontal, code, bar->value());
        // The bar shows where the view is, not where the click would move it.
        QSignalBlocker block(bar);
        const int shown = horizontal ? ScrollPositionOfVisiblePart(m_view->m_dViewLeft, m_view->m_dViewRight)
                                     : ScrollPositionOfVisiblePart(m_view->m_dViewTop, m_view->m_dViewBottom);
        QMetaObject::invokeMethod(bar, [bar, shown] { bar->setValue(shown); }, Qt::QueuedConnection);
    });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar, horizontal] {
        m_view->OnScroll(horizontal, ScrollCode::ThumbPosition, bar->value());
    });
}

void ImageViewWidget::scrollContentsBy(int, int) {
    // The view is redrawn by the render thread; nothing to move here.
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
    QSignalBlocker blockH(horizontalScrollBar());
    QSignalBlocker blockV(verticalScrollBar());
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
}

void ImageViewWidget::ShowScrollBars(bool shown) {
    const Qt::ScrollBarPolicy policy = shown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
}

void ImageViewWidget::SetViewCursor(Cursor cursor) {
    switch (cursor) {
        case Cursor::Arrow: viewport()->setCursor(Qt::ArrowCursor); break;
        case Cursor::Hand: viewport()->setCursor(Qt::PointingHandCursor); break;
        case Cursor::LowerLine: viewport()->setCursor(LineCursor(true)); break;
        case Cursor::UpperLine: viewport()->setCursor(LineCursor(false)); break;
    }
}

void ImageViewWidget::RubberBandChanged() { viewport()->update(); }

int ImageViewWidget::RunDialog(QDialog* dialog) {
    if (g_dialogRunner) return g_dialogRunner(dialog);
    return dialog->exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

bool ImageViewWidget::AskSaveAsPath(CString& path) {
    if (g_saveAsPathSource) return g_saveAsPathSource(path);
    QFileDialog dialog(this, "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("png");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toLocal8Bit().constData();
    return true;
}

bool ImageViewWidget::RunScaleIntensitiesDialog(uint16_t& maximum, uint16_t& minimum) {
    ScaleIntensitiesDlg dialog(maximum, minimum, this, this);
    if (RunDialog(&dialog) != platform::IDOK) return false;
    maximum = dialog.m_nMax;
    minimum = dialog.m_nMin;
    return true;
}

void ImageViewWidget::RunPixelsPerMMDialog(double heightPixels) {
    ComputePixelsPerMMDlg dialog(this);
    dialog.m_dObjectHeightPixels = heightPixels;
    dialog.OnInitDialog();
    RunDialog(&dialog);
}

void ImageViewWidget::RunChooseROIDialog() {
    ChooseROI dialog(this);
    RunDialog(&dialog);
}

void ImageViewWidget::ShowAdjustBoundariesDialog() {
    AdjustBoundariesDlg* dialog = GetAdjustBoundariesDlg(window());
    if (dialog->isHidden()) dialog->show();
    dialog->ShowForView(this);
}

void ImageViewWidget::AddToRecentFileList(const char* path) {
    if (g_recentFileSink) g_recentFileSink(path);
}

void ImageViewWidget::PostUserMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam] { m_view->PreTranslateMessage(message, wParam, lParam); },
        Qt::QueuedConnection);
}

QMenu* ImageViewWidget::CreateContextMenu() {
    auto* menu = new QMenu(this);
    for (const ViewMenuEntry& entry : m_view->BuildContextMenu()) {
        if (entry.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(entry.text));
        action->setData(entry.id);
        if (entry.id == viewcmd::DrawProjectionBelow || entry.id == viewcmd::DrawProjectionRight) {
            action->setCheckable(true);
            action->setChecked(entry.checked);
        }
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { m_view->OnCommand(id); });
    }
    return menu;
}

void ImageViewWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        m_view->OnLButtonDown(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        QMenu* menu = CreateContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(viewport()->mapToGlobal(p));
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void ImageViewWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    m_view->OnMouseMove(p.x(), p.y(), event->buttons() & Qt::LeftButton);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void ImageViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        m_view->OnLButtonUp(p.x(), p.y());
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
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
    // The rubber band of a drag: inverted over the picture, an outline for
    // a region, two lines across the width while measuring.
    const RECT& band = m_view->m_rcDrag;
    if (band.left != 0 || band.top != 0 || band.right != 0 || band.bottom != 0) {
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        if (m_view->m_bMeasurePixelsPerMM) {
            painter.fillRect(QRect(0, band.top, viewport()->width(), 1), Qt::white);
            if (band.bottom != band.top) painter.fillRect(QRect(0, band.bottom, viewport()->width(), 1), Qt::white);
        } else {
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRect(QPoint(band.left, band.top), QPoint(band.right, band.bottom)));
        }
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
    m_view->OnShowWindow();
    Invalidate();
}
