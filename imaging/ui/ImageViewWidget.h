#pragma once

// The window of an image view: a scroll area that shows the latest picture
// the render thread drew for it. Painting only shows that picture; a change
// of what is shown (a new frame, a resize, a command) asks the view for a
// new render request instead.

#include <atomic>
#include <functional>
#include <memory>

#include <QAbstractScrollArea>

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

    // RenderTarget (render thread)
    void PresentPicture(const cv::Mat& picture) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void DrawNow();
    void ShowPicture(const cv::Mat& picture);

    std::unique_ptr<CImageView> m_view;
    HWND m_handle = 0;
    cv::Mat m_picture;
    std::atomic<bool> m_drawQueued{false};
    std::function<void()> m_pictureShown;
    std::function<void()> m_titleChanged;
};
