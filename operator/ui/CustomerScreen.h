#pragma once

// The window of the customer run screen: a frameless whole-screen widget that
// paints a snapshot of the screen's state (operator/CustomerUI.h) and
// forwards the operator's input and the timer ticks to it. It holds the
// screen's child controls (edits, exposure combos, radios, check boxes) and
// keeps them in step with the controls the logic describes.
//
// The texts are drawn in "DejaVu Sans" in place of the geometric sans-serif
// the screen was designed with, which Debian does not carry; the sizes are
// chosen so that a line is as high as the designed font height.

#include <QFont>
#include <QImage>
#include <QWidget>

#include <array>
#include <map>
#include <string>
#include <memory>

#include "imaging/RenderList.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUIScreens.h"

class QPainter;
class QTimer;

// The screen's fonts measured with Qt.
class QtTextMetrics : public customer_ui::TextMetrics {
public:
    QtTextMetrics();
    customer_ui::TextSize Measure(customer_ui::Font font, const std::string& text) const override;
    const QFont& FontOf(customer_ui::Font font) const;
    void SetComboHeight(int height);

private:
    std::map<customer_ui::Font, QFont> m_fonts;
};

// A font of the family whose line is at most `height` pixels high.
QFont FontOfHeight(const QString& family, int height);

class CustomerScreen : public QWidget, private customer_ui::CustomerUIWindow, private RenderTarget {
    Q_OBJECT
public:
    // The screen paints `ui` (the program's g_CustomerUI unless a test gives
    // its own) and lays itself out for the desktop's client size.
    explicit CustomerScreen(CustomerUI& ui, int desktopWidth, int desktopHeight);
    ~CustomerScreen() override;

    CustomerUI& Logic() { return m_ui; }
    QWidget* Control(int id) const;
    // Paints the current state into an image of the window's size.
    QImage Render();
    // Brings the child controls in step with the logic's description now.
    void SyncControls();
    // The handle the render thread draws live pictures for.
    HWND RenderTargetHandle() const { return m_renderTarget; }
    // The live picture shown in the video panel (null before the first).
    const QImage& VideoPicture() const { return m_imgVideo; }

    // Drawing helpers of the screens' painters.
    // The text lines, centred from `topFraction` of the height; the number
    // of lines drawn (0 for none) and their bounding rectangle.
    int DrawTextLines(QPainter& painter, int maxLines, RECT* bounds, double topFraction);
    // The grey "OFF" box in place of a hidden exposure combo.
    void DrawExposureOffBox(QPainter& painter, int combo);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // CustomerUIWindow, callable from any thread.
    void ShowWindow(bool show) override;
    void Invalidate(const RECT* rect, bool erase) override;
    void ControlsChanged() override;
    void SetSizingCursor() override;
    bool ChooseExperimentSettingsFile(std::string* path) override;
    // RenderTarget, on the render thread: queues the finished picture.
    void PresentPicture(const cv::Mat& picture) override;

    void CreateControls();
    // The painters of the single screens (CustomerScreenPainters.cpp). Each
    // returns false when its screen draws nothing beyond the frame.
    bool PaintState(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    bool PaintLogin(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot);
    bool PaintSelectAction(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot);
    bool PaintPromptInsertFlowcell(QPainter& painter, const QRect& updateRect);
    bool PaintPipetteSample(QPainter& painter, const QRect& updateRect);
    bool PaintForm(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    bool PaintPromptInfo(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    bool PaintShowVideo(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    void LayoutExposurePanel();
    void DrawExposureUnits(QPainter& painter, const QRect& updateRect);
    // The "OFF" boxes and the histogram, drawn after the arrows and timer box.
    void PaintVideoAfterShared(QPainter& painter, const QRect& updateRect);
    bool PaintPromptForImageChecks(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot,
                                   const QRect& updateRect);
    bool PaintPromptForFusedImageVerification(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot,
                                              const QRect& updateRect);
    bool PaintPromptForMontageReport(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot,
                                     const QRect& updateRect);
    // A picture file scaled into the rectangle (bilinear) when it meets the
    // area being repainted; a missing or unreadable file draws nothing.
    void DrawPicture(QPainter& painter, const std::string& path, const RECT& rect, const QRect& updateRect);
    void DrawPlaced(QPainter& painter, const customer_ui::PlacedText& text);
    void Paint(QPainter& painter, const QRect& updateRect);
    void PaintFrame(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    void PaintSharedElements(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot,
                             const QRect& updateRect);
    void DrawArrow(QPainter& painter, bool next, const customer_ui::CustomerUISnapshot& snapshot, const char* caption);
    void DrawTimerBox(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);
    void DrawMessageLine(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot);
    int DrawGroupBoxes(QPainter& painter, const customer_ui::CustomerUISnapshot& snapshot, const QRect& updateRect);

    CustomerUI& m_ui;
    QtTextMetrics m_metrics;
    QImage m_imgLogo;
    std::map<int, QWidget*> m_controls;
    QTimer* m_timer = nullptr;
    COLORREF m_controlBackground = 0;
    // The video screen's panel, laid out once, and the last live picture.
    std::array<std::string, 3> m_imageTypeNames;
    customer_ui::ExposurePanelLayout m_exposurePanel;
    QImage m_imgVideo;
    HWND m_renderTarget = 0;
};

// The program's run screen: created hidden on first use, installed into the
// main window's hooks (exists, visible, create, show, start a script) and
// into the capture code's visibility query.
void InstallCustomerScreen();
// Takes the hooks back and deletes the window; done when the program quits.
void RemoveCustomerScreen();
// The window of g_CustomerUI, or null before it was created.
CustomerScreen* GetCustomerScreen();
