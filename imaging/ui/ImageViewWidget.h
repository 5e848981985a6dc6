#pragma once

// The window of an image view: a scroll area that shows the latest picture
// the render thread drew for it. Painting only shows that picture; a change
// of what is shown (a new frame, a resize, a command) asks the view for a
// new render request instead.

#include <atomic>
#include <functional>
#include <memory>

#include <QAbstractScrollArea>

class QDialog;
class QMenu;

#include <opencv2/core.hpp>

#include "imaging/ImageView.h"
#include "imaging/RenderList.h"

class CImageDoc;

class ImageViewWidget : public QAbstractScrollArea, public ImageViewWindow, public RenderTarget {
    Q_OBJECT
public:
    ImageViewWidget(CImageDoc* document, QWidget* parent = nullptr);
    ~ImageViewWidget() override;

    CImageView& View() { return *m_view; }
    // The picture shown now (empty before the first one arrives).
    const cv::Mat& Picture() const { return m_picture; }
    // Called on the user-interface thread when a new picture is shown.
    void SetPictureShownCallback(std::function<void()> callback) { m_pictureShown = std::move(callback); }
    // Called when the document's title changes.
    void SetTitleCallback(std::function<void()> callback) { m_titleChanged = std::move(callback); }

    // ImageViewWindow
    RECT GetClientRect() const override;
    HWND GetRenderTarget() const override { return m_handle; }
    void Invalidate() override;
    void SetScrollPositions(int horizontal, int vertical) override;
    void TitleChanged() override;
    void StartOneShotTimer(int id, int milliseconds) override;
    void ShowWaitCursor(bool on) override;
    void ShowScrollBars(bool shown) override;
    void SetViewCursor(Cursor cursor) override;
    void RubberBandChanged() override;
    bool AskSaveAsPath(CString& path) override;
    bool RunScaleIntensitiesDialog(uint16_t& maximum, uint16_t& minimum) override;
    void RunPixelsPerMMDialog(double heightPixels) override;
    void RunChooseROIDialog() override;
    void ShowAdjustBoundariesDialog() override;
    void AddToRecentFileList(const char* path) override;

    // Queues a user message (the Scale Intensities previews) for the view.
    void PostUserMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    // The context menu as it would open now, and opening it at a point.
    QMenu* CreateContextMenu();

    // How the dialogs answer, for tests: a function given the dialog before
    // it runs returns its result instead of running it modally. Empty: the
    // dialogs run modally.
    static void SetDialogRunner(std::function<int(QDialog* dialog)> runner);
    // Where Save As asks for its path, for tests.
    static void SetSaveAsPathSource(std::function<bool(CString& path)> source);
    // Told every path saved to.
    static void SetRecentFileSink(std::function<void(const char* path)> sink);

    // RenderTarget (render thread)
    void PresentPicture(const cv::Mat& picture) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void DrawNow();
    void ConnectScrollBar(bool horizontal);
    int RunDialog(QDialog* dialog);
    void ShowPicture(const cv::Mat& picture);

    std::unique_ptr<CImageView> m_view;
    HWND m_handle = 0;
    cv::Mat m_picture;
    std::atomic<bool> m_drawQueued{false};
    std::function<void()> m_pictureShown;
    std::function<void()> m_titleChanged;
    bool m_settingScrollBars = false;
};
