#pragma once

// The MDI child window that frames an image view inside the main window.

#include <functional>

#include <QMdiSubWindow>

class ImageViewWidget;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(QWidget* parent = nullptr);
    ~CChildFrame() override;

    // The view it frames; the frame owns it.
    void SetView(ImageViewWidget* view);
    ImageViewWidget* View() const { return m_view; }
    // Called when the frame is destroyed, after its view is gone.
    void SetDestroyedCallback(std::function<void()> callback) { m_destroyed = std::move(callback); }

private:
    ImageViewWidget* m_view = nullptr;
    std::function<void()> m_destroyed;
};
