#include "operator/ui/CustomerScreen.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>

#include <opencv2/core.hpp>

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "app/ui/MainFrame.h"
#include "app/ui/ToolBarEx.h"
#include "imaging/ImageCapture.h"
#include "imaging/LiveView.h"
#include "imaging/RenderOverlays.h"
#include "operator/CustomerScreenPictures.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "support/AppLogs.h"

using namespace customer_ui;

namespace {

constexpr const char* kFontFamily = "DejaVu Sans";

QColor ToQColor(COLORREF colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

// A rectangle whose right and bottom edges are exclusive, as the screen's
// layout keeps them, as a Qt rectangle.
QRect ToQRect(const RECT& rect) { return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top); }

bool IsEdit(int id) {
    for (int edit : kInputEdits) {
        if (edit == id) return true;
    }
    return id == IDC_PASSWORD;
}
bool IsCombo(int id) { return id >= IDC_COMBO1 && id <= IDC_COMBO3; }
bool IsRadio(int id) { return id >= IDC_RADIO1 && id <= IDC_RADIO3; }

// Which shared elements a state's screen ends with: arrows (with or
// without captions), the timer box and the message line.
struct SharedElements {
    bool next = false, back = false, captions = false, timer = false, message = false;
};
SharedElements SharedElementsOf(int32_t state) {
    switch (state) {
    case 0: return {true, false, false, false, true};
    case 2: return {true, true, false, true, true};
    case 3: return {true, true, false, true, false};
    case 7: return {true, true, true, true, false};
    default:
        if (state >= 8 && state <= 14) return {true, true, true, true, true};
        return {};
    }
}

CustomerScreen* g_screen = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// Fonts

QFont FontOfHeight(const QString& family, int height) {
    QFont font(family);
    font.setWeight(QFont::Normal);
    int size = std::max(height, 1);
    font.setPixelSize(size);
    while (size > 1 && QFontMetrics(font).height() > height) {
        font.setPixelSize(--size);
    }
    return font;
}

QtTextMetrics::QtTextMetrics() {
    m_fonts[Font::Text] = FontOfHeight(kFontFamily, 40);
    m_fonts[Font::Small] = FontOfHeight(kFontFamily, 20);
    m_fonts[Font::Combo] = FontOfHeight(kFontFamily, 24);
    m_fonts[Font::Symbol] = FontOfHeight(kFontFamily, 24);
    m_fonts[Font::Medium] = FontOfHeight(kFontFamily, 24);
}

TextSize QtTextMetrics::Measure(Font font, const std::string& text) const {
    const QFontMetrics metrics(FontOf(font));
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

const QFont& QtTextMetrics::FontOf(Font font) const { return m_fonts.at(font); }

void QtTextMetrics::SetComboHeight(int height) { m_fonts[Font::Combo] = FontOfHeight(kFontFamily, height); }

// ---------------------------------------------------------------------------
// The window

CustomerScreen::CustomerScreen(CustomerUI& ui, int desktopWidth, int desktopHeight)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_ui(ui) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    CreateControls();

    const int comboHeight = m_controls.at(IDC_COMBO1)->sizeHint().height();
    m_metrics.SetComboHeight(comboHeight);
    m_ui.AttachWindow(this, &m_metrics);
    const WindowPlacement placement = m_ui.OnInitDialog(desktopWidth, desktopHeight, comboHeight);
    setGeometry(placement.left, placement.top, placement.width, placement.height);

    const std::string logo = platform::JoinPath(theApp.m_strExeDir.c_str(), "LogoDarkBackground_sm.png");
    m_imgLogo.load(QString::fromStdString(logo));

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { m_ui.RunDueTimers(); });
    m_timer->start(10);
    SyncControls();
    m_renderTarget = RegisterRenderTarget(this);
}

CustomerScreen::~CustomerScreen() {
    UnregisterRenderTarget(m_renderTarget);
    m_ui.AttachWindow(nullptr, nullptr);
}

void CustomerScreen::PresentPicture(const cv::Mat& picture) {
    if (picture.empty() || picture.type() != CV_8UC4) return;
    // A deep copy: the render thread reuses its picture.
    const QImage image = QImage(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                                QImage::Format_RGB32)
                             .copy();
    QMetaObject::invokeMethod(this, [this, image] {
        m_imgVideo = image;
        const RECT panel = m_ui.GetVideoRect();
        update(QRect(panel.left, panel.top, image.width(), image.height()));
    }, Qt::QueuedConnection);
}

void CustomerScreen::CreateControls() {
    const QFont& text = m_metrics.FontOf(Font::Text);
    auto* radios = new QButtonGroup(this);
    for (int id : AllControlIds()) {
        QWidget* control = nullptr;
        if (IsEdit(id)) {
            auto* edit = new QLineEdit(this);
            edit->setFont(text);
            edit->setFrame(false);
            if (id == IDC_PASSWORD) edit->setEchoMode(QLineEdit::Password);
            connect(edit, &QLineEdit::textEdited, this,
                    [this, id](const QString& value) { m_ui.SetControlText(id, value.toStdString()); });
            control = edit;
        } else if (IsCombo(id)) {
            auto* combo = new QComboBox(this);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            connect(combo, &QComboBox::activated, this, [this, id, combo](int index) {
                m_ui.SetControlText(id, combo->itemText(index).toStdString());
                m_ui.OnCbnCloseupCombo(id);
            });
            connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, id](const QString& value) {
                m_ui.SetControlText(id, value.toStdString());
                m_ui.OnCbnEditchangeCombo(id);
            });
            control = combo;
        } else if (IsRadio(id)) {
            auto* radio = new QRadioButton(this);
            radios->addButton(radio);
            connect(radio, &QRadioButton::clicked, this, [this, id] { m_ui.OnBnClickedRadio(id); });
            control = radio;
        } else {
            auto* check = new QCheckBox(this);
            connect(check, &QCheckBox::clicked, this, [this, id](bool checked) { m_ui.SetControlChecked(id, checked); });
            control = check;
        }
        control->hide();
        m_controls[id] = control;
    }
}

QWidget* CustomerScreen::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CustomerScreen::SyncControls() {
    // Edits, radios and check boxes take the screen's background and text
    // colours; the exposure combos keep their own.
    const COLORREF background = g_CustomerUIBackgroundColor.load();
    if (background != m_controlBackground || m_controlBackground == 0) {
        m_controlBackground = background;
        const QString colours =
            QString("background-color: %1; color: %2;")
                .arg(ToQColor(background).name(), ToQColor(m_ui.Snapshot().content.m_crText).name());
        for (const auto& [id, widget] : m_controls) {
            if (!IsCombo(id)) widget->setStyleSheet(colours);
        }
    }
    for (const auto& [id, widget] : m_controls) {
        const ControlState state = m_ui.GetControl(id);
        const QSignalBlocker block(widget);
        const QRect rect = ToQRect(state.rect);
        if (!rect.isEmpty() && widget->geometry() != rect) widget->setGeometry(rect);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->text().toStdString() != state.text) edit->setText(QString::fromStdString(state.text));
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            QStringList items;
            for (const std::string& item : state.items) items << QString::fromStdString(item);
            QStringList current;
            for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
            if (current != items) {
                combo->clear();
                combo->addItems(items);
            }
            if (combo->currentText().toStdString() != state.text) combo->setEditText(QString::fromStdString(state.text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->isChecked() != state.checked) button->setChecked(state.checked);
        }
        if (widget->isVisibleTo(this) != state.visible) widget->setVisible(state.visible);
    }
}

// --- What the logic asks, from any thread ----------------------------------

void CustomerScreen::ShowWindow(bool show) {
    QMetaObject::invokeMethod(this, [this, show] {
        if (show) {
            showNormal();
        } else {
            hide();
        }
    }, QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void CustomerScreen::Invalidate(const RECT* rect, bool erase) {
    (void)erase;  // every paint fills its whole area
    const QRect area = rect ? QRect(rect->left, rect->top, rect->right - rect->left + 1, rect->bottom - rect->top + 1)
                            : QRect();
    QMetaObject::invokeMethod(this, [this, area, whole = rect == nullptr] {
        if (whole) {
            update();
        } else {
            update(area);
        }
    }, QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void CustomerScreen::ControlsChanged() {
    QMetaObject::invokeMethod(this, [this] { SyncControls(); },
                              QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void CustomerScreen::SetSizingCursor() { setCursor(Qt::SizeVerCursor); }

bool CustomerScreen::ChooseExperimentSettingsFile(std::string* path) {
    QFileDialog dialog(this, "Select Experiment Setting File", QString(), "Experiment Setting File (*.ini)");
    dialog.setDefaultSuffix("ini");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectFile("ExperimentSettings");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *path = dialog.selectedFiles().first().toStdString();
    return true;
}

// --- Input -------------------------------------------------------------------

void CustomerScreen::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        m_ui.OnLButtonDown({p.x(), p.y()});
    }
    QWidget::mousePressEvent(event);
}

void CustomerScreen::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        m_ui.OnLButtonUp({p.x(), p.y()});
    }
    QWidget::mouseReleaseEvent(event);
}

void CustomerScreen::mouseMoveEvent(QMouseEvent* event) {
    unsetCursor();
    const QPoint p = event->position().toPoint();
    m_ui.OnMouseMove({p.x(), p.y()}, (event->buttons() & Qt::LeftButton) != 0);
    QWidget::mouseMoveEvent(event);
}

void CustomerScreen::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_ui.OnKey(13);
        return;
    }
    if (key == Qt::Key_Escape) {
        m_ui.OnKey(27);
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- Painting ----------------------------------------------------------------

void CustomerScreen::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    Paint(painter, event->rect());
}

QImage CustomerScreen::Render() {
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    Paint(painter, rect());
    return image;
}

void CustomerScreen::Paint(QPainter& painter, const QRect& updateRect) {
    const CustomerUISnapshot snapshot = m_ui.Snapshot();
    painter.setFont(m_metrics.FontOf(Font::Text));
    painter.setPen(ToQColor(snapshot.content.m_crText));
    PaintFrame(painter, snapshot, updateRect);
    // The painters of the single screens draw their own content; every
    // screen that draws ends with its shared elements.
    if (PaintState(painter, snapshot, updateRect)) PaintSharedElements(painter, snapshot, updateRect);
    if (snapshot.state == kStateShowVideo) PaintVideoAfterShared(painter, updateRect);
    if (snapshot.state >= 0 && snapshot.state < kNumberOfStates) m_ui.SetPaintedState(snapshot.state);
}

int CustomerScreen::DrawTextLines(QPainter& painter, int maxLines, RECT* bounds, double topFraction) {
    const CustomerUISnapshot snapshot = m_ui.Snapshot();
    const TextLinesLayout layout =
        LayoutTextLines(m_metrics, snapshot.content.m_vecTextLines, {0, 0, width(), height()}, maxLines, topFraction);
    painter.save();
    painter.setFont(m_metrics.FontOf(Font::Text));
    for (const PlacedText& line : layout.lines) {
        painter.drawText(QRect(line.at.x, line.at.y, line.size.cx, line.size.cy), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(line.text));
    }
    painter.restore();
    if (bounds) *bounds = layout.bounds;
    return layout.count;
}

void CustomerScreen::DrawExposureOffBox(QPainter& painter, int combo) {
    const ControlState control = m_ui.GetControl(combo);
    if (control.visible) return;
    const QRect box = ToQRect(control.rect);
    painter.save();
    painter.setFont(m_metrics.FontOf(Font::Small));
    painter.setPen(QPen(ToQColor(kOffBoxColour), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, "OFF");
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.restore();
}

void CustomerScreen::PaintFrame(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    painter.fillRect(rect(), ToQColor(snapshot.background));
    DrawGroupBoxes(painter, snapshot, updateRect);
    if (!m_imgLogo.isNull()) {
        const Point at = LogoPosition(width(), height());
        painter.drawImage(QPoint(at.x, at.y), m_imgLogo);
    }
    if (!snapshot.content.m_strTitle.empty()) {
        const Point at = TitlePosition(m_metrics, snapshot.content.m_strTitle, width(), height());
        painter.save();
        painter.setPen(ToQColor(kTitleColour));
        painter.drawText(QRect(at.x, at.y, width() * 2, height()), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(snapshot.content.m_strTitle));
        painter.restore();
    }
}

int CustomerScreen::DrawGroupBoxes(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    const CustomerUIContent& c = snapshot.content;
    const RECT update{updateRect.left(), updateRect.top(), updateRect.right(), updateRect.bottom()};
    int drawn = 0;
    for (size_t i = 0; i < c.m_vecGroupBoxRects.size(); ++i) {
        if (!RectsIntersect(c.m_vecGroupBoxRects[i], update)) continue;
        painter.save();
        painter.setPen(QPen(ToQColor(c.m_vecGroupBoxBorder[i]), c.m_vecGroupBoxThickness[i]));
        painter.setBrush(ToQColor(c.m_vecGroupBoxFill[i]));
        // The radius is the corner ellipse's width and height.
        const double r = c.m_vecGroupBoxRadius[i] / 2.0;
        painter.drawRoundedRect(ToQRect(c.m_vecGroupBoxRects[i]), r, r);
        painter.restore();
        ++drawn;
    }
    return drawn;
}

void CustomerScreen::PaintSharedElements(QPainter& painter, const CustomerUISnapshot& snapshot,
                                         const QRect& updateRect) {
    const SharedElements shared = SharedElementsOf(snapshot.state);
    if (shared.next) DrawArrow(painter, true, snapshot, shared.captions ? snapshot.content.m_strNextText.c_str() : "");
    if (shared.back) DrawArrow(painter, false, snapshot, shared.captions ? snapshot.content.m_strBackText.c_str() : "");
    if (shared.timer) DrawTimerBox(painter, snapshot, updateRect);
    if (shared.message) DrawMessageLine(painter, snapshot);
}

void CustomerScreen::DrawArrow(QPainter& painter, bool next, const CustomerUISnapshot& snapshot, const char* caption) {
    const int32_t state = snapshot.state;
    const std::vector<bool>& hovers = next ? snapshot.content.m_vecNextHover : snapshot.content.m_vecBackHover;
    const bool hover = state >= 0 && static_cast<size_t>(state) < hovers.size() && hovers[state];
    auto imageSize = [](const std::string& path, int32_t* w, int32_t* h) {
        QImageReader reader(QString::fromStdString(path));
        const QSize size = reader.size();
        if (!size.isValid()) return false;
        *w = size.width();
        *h = size.height();
        return true;
    };
    const ArrowPlan plan = m_ui.PlanArrow(next, {0, 0, width(), height()}, hover, caption ? caption : "", imageSize);
    if (!plan.drawn) return;
    painter.save();
    const QRect rect = ToQRect(plan.rect);
    if (plan.look == 0) {
        QPolygon polygon;
        for (const Point& p : plan.polygon) polygon << QPoint(p.x, p.y);
        painter.setPen(QPen(ToQColor(plan.colour), 1));
        painter.setBrush(ToQColor(plan.colour));
        painter.drawPolygon(polygon);
    } else {
        QImage image(QString::fromStdString(plan.imagePath));
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect, image);
    }
    if (!plan.caption.empty()) {
        painter.setPen(ToQColor(plan.captionColour));
        painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(plan.caption));
    }
    painter.restore();
}

void CustomerScreen::DrawTimerBox(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    const QRect box = ToQRect(snapshot.rcTimer);
    if (!box.intersects(updateRect)) return;
    uint64_t shownMs = 0;
    const ScriptTimer& timer = snapshot.timer;
    if (!TimerShownMs(static_cast<uint64_t>(CustomerUI::SystemTimeMs()), timer.m_nTimerStartMs,
                      timer.m_nTimerDurationMs, timer.m_bTimerCountDown, &shownMs)) {
        return;
    }
    painter.save();
    const QColor colour = ToQColor(TimerBoxColour(timer.m_bTimerCountDown));
    painter.setPen(QPen(colour, 1));
    painter.setBrush(colour);
    const double corner = m_metrics.Measure(Font::Text, "W").cx / 2.0;
    painter.drawRoundedRect(box, corner, corner);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(TimerText(shownMs)));
    painter.restore();
}

void CustomerScreen::DrawMessageLine(QPainter& painter, const CustomerUISnapshot& snapshot) {
    const MessageLine& message = snapshot.message;
    if (message.m_nMessageTicksLeft == 0 || message.m_strMessage.empty()) return;
    painter.save();
    painter.setPen(ToQColor(MessageColour(message.m_nMessageTicksLeft, message.m_nMessageTicks, snapshot.background)));
    const RECT& r = message.m_rcMessage;
    const QRect area(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromStdString(message.m_strMessage));
    painter.restore();
}

// ---------------------------------------------------------------------------
// The program's run screen

CustomerScreen* GetCustomerScreen() { return g_screen; }

void InstallCustomerScreen() {
    if (theApp.m_strExeDir.GetLength() == 0) theApp.m_strExeDir = platform::ProgramFolder().c_str();
    if (theApp.m_strCustomerUIDir.GetLength() == 0) {
        theApp.m_strCustomerUIDir = platform::JoinPath(theApp.m_strExeDir.c_str(), "CustomerUI").c_str();
    }
    std::string error;
    if (!InstallCustomerScreenPictures(theApp.m_strExeDir.c_str(), theApp.m_strCustomerUIDir.c_str(), &error)) {
        LogErrAndInfo("CustomerUI", __LINE__, error.c_str());
    }
    FrameHooks hooks = GetFrameHooks();
    hooks.customerUiExists = [] { return g_screen != nullptr; };
    hooks.customerUiVisible = [] { return g_screen != nullptr && g_CustomerUI.IsVisible(); };
    hooks.createCustomerUi = [] {
        if (g_screen) return;
        const QRect desktop = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                               : QRect(0, 0, 1920, 1080);
        g_screen = new CustomerScreen(g_CustomerUI, desktop.width(), desktop.height());
    };
    hooks.showCustomerUi = [](bool show) {
        if (g_screen) g_CustomerUI.ShowWindow(show);
    };
    hooks.startCustomerScript = [](const char* path, CString* error) {
        CString ignored;
        return g_CustomerUI.StartScript(path, error ? *error : ignored);
    };
    hooks.checkCustomerUiFirstImageType = [] {
        if (g_screen) g_CustomerUI.CheckRadioButton(IDC_RADIO1, IDC_RADIO3, IDC_RADIO1);
    };
    SetFrameHooks(hooks);
    SetCustomerScreenVisibleQuery([] { return g_screen != nullptr && g_CustomerUI.IsVisible(); });

    // The render thread draws the live video and the split line, and fills
    // the histogram of the image type chosen on the screen.
    RunScreenRenderHooks render;
    render.isVisible = [] { return g_screen != nullptr && g_CustomerUI.IsVisible(); };
    render.activeIntensityControl = [] {
        return &g_CustomerUI.m_IntensityControls[g_CustomerUI.ActiveIntensityControl()];
    };
    render.invalidate = [](const RECT& area) { g_CustomerUI.Invalidate(&area, true); };
    render.updateFlowSplitText = [](bool redraw) {
        if (g_screen) g_CustomerUI.UpdateFlowSplitText(redraw);
    };
    render.videoTarget = [](uintptr_t* window, RECT* panel, double zoom[4]) {
        CustomerScreen* screen = g_screen;
        if (!screen || !g_CustomerUI.IsVisible() || g_CustomerUI.GetState() != kStateShowVideo) return false;
        *window = screen->RenderTargetHandle();
        *panel = g_CustomerUI.GetVideoRect();
        const CustomerUIContent c = g_CustomerUI.Snapshot().content;
        zoom[0] = c.m_dZoomLeft;
        zoom[1] = c.m_dZoomRight;
        zoom[2] = c.m_dZoomTop;
        zoom[3] = c.m_dZoomBottom;
        return true;
    };
    SetRunScreenRenderHooks(render);
    // The live view tells the video screen which image type it shows.
    SetLiveChannelChangeHandler([](int typeIndex) {
        if (!g_CustomerUI.IsVisible() || g_CustomerUI.GetState() != kStateShowVideo) return;
        g_CustomerUI.Invalidate(nullptr, true);
        g_CustomerUI.m_nLiveImageType = typeIndex;
    });

    ToolbarAccess toolbar;
    toolbar.getImageTypeIndex = [] {
        CToolBarEx* bar = theApp.m_pMainWnd ? theApp.m_pMainWnd->ToolBar() : nullptr;
        return bar ? static_cast<int>(bar->GetSelectedImageTypeIndex()) : 0;
    };
    toolbar.showImageType = [](int index) {
        CToolBarEx* bar = theApp.m_pMainWnd ? theApp.m_pMainWnd->ToolBar() : nullptr;
        return bar != nullptr && bar->ShowImageType(index);
    };
    g_CustomerUI.SetToolbarAccess(toolbar);

    // Start-up makes the window, hidden; the script's first screen shows it.
    GetFrameHooks().createCustomerUi();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, RemoveCustomerScreen);
}

void RemoveCustomerScreen() {
    SetRunScreenRenderHooks({});
    SetLiveChannelChangeHandler(nullptr);
    SetCustomerScreenVisibleQuery(nullptr);
    FrameHooks hooks = GetFrameHooks();
    hooks.customerUiExists = nullptr;
    hooks.customerUiVisible = nullptr;
    hooks.createCustomerUi = nullptr;
    hooks.showCustomerUi = nullptr;
    hooks.startCustomerScript = nullptr;
    hooks.checkCustomerUiFirstImageType = nullptr;
    SetFrameHooks(hooks);
    g_CustomerUI.SetToolbarAccess({});
    delete g_screen;
    g_screen = nullptr;
}
