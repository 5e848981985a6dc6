// The painters of the run screen's single screens: each draws what the pure
// layouts of operator/CustomerUIScreens.h place, shows and moves the child
// controls its screen needs and stores the hit rectangles the input handlers
// test. They never change the state and never touch the hand-back.

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "analysis/ui/DisplayBlit.h"
#include "analysis/ui/IntensityControlWidget.h"
#include "app/FlowSplit.h"
#include "app/VelloraApp.h"
#include "imaging/RenderOverlays.h"
#include "operator/ui/CustomerScreen.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "support/Profile.h"

using namespace customer_ui;

namespace {

QColor ToQColor(COLORREF colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }
QRect ToQRect(const RECT& rect) { return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top); }
// Inclusive edges, as the layouts give text and button rectangles.
QRect ToQRectInclusive(const RECT& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top + 1);
}
QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string CustomerPicture(const char* name) {
    return platform::JoinPath(theApp.m_strCustomerUIDir.c_str(), name);
}

// An entry of a list the script fills, or "" when it has none.
const std::string& EntryOr(const std::vector<std::string>& list, size_t index) {
    static const std::string empty;
    return index < list.size() ? list[index] : empty;
}

constexpr COLORREF kBrowseColour = Rgb(68, 179, 180);

}  // namespace

void CustomerScreen::DrawPicture(QPainter& painter, const std::string& path, const RECT& rect,
                                 const QRect& updateRect) {
    const QRect target = ToQRect(rect);
    if (path.empty() || !target.intersects(updateRect)) return;
    const QImage image(Q(path));
    if (image.isNull()) return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
    painter.restore();
}

void CustomerScreen::DrawPlaced(QPainter& painter, const PlacedText& text) {
    painter.drawText(QRect(text.at.x, text.at.y, std::max(text.size.cx, 1) + 2, text.size.cy),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Q(text.text));
}

bool CustomerScreen::PaintState(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    switch (snapshot.state) {
    case 0: return PaintLogin(painter, snapshot);
    case 1: return PaintSelectAction(painter, snapshot);
    case 2: return PaintPromptInsertFlowcell(painter, updateRect);
    case 3: return PaintPipetteSample(painter, updateRect);
    case 7: return PaintShowVideo(painter, snapshot, updateRect);
    case 8:
    case 10:
    case 11: return PaintForm(painter, snapshot, updateRect);
    case 9: return PaintPromptInfo(painter, snapshot, updateRect);
    case 12: return PaintPromptForImageChecks(painter, snapshot, updateRect);
    case 13: return PaintPromptForFusedImageVerification(painter, snapshot, updateRect);
    case 14: return PaintPromptForMontageReport(painter, snapshot, updateRect);
    default: return true;
    }
}

// --- State 0 -------------------------------------------------------------------

bool CustomerScreen::PaintLogin(QPainter& painter, const CustomerUISnapshot& snapshot) {
    m_ui.ShowEditControls(IDC_INPUT1, IDC_PASSWORD, 0);
    const LoginLayout layout = LayoutLogin(m_metrics, snapshot.width, snapshot.height);
    DrawPlaced(painter, layout.prompt);
    DrawPlaced(painter, layout.userLabel);
    DrawPlaced(painter, layout.passwordLabel);
    m_ui.MoveControl(IDC_INPUT1, layout.userEdit);
    m_ui.MoveControl(IDC_PASSWORD, layout.passwordEdit);
    painter.save();
    painter.setPen(QPen(ToQColor(snapshot.content.m_crText), 2));
    for (const RECT& line : {layout.userLine, layout.passwordLine})
        painter.drawLine(line.left, line.top, line.right, line.top);
    painter.restore();
    return true;
}

// --- State 1 -------------------------------------------------------------------

bool CustomerScreen::PaintSelectAction(QPainter& painter, const CustomerUISnapshot& snapshot) {
    m_ui.ShowEditControls(0, 0, 0);
    const CustomerUIContent& c = snapshot.content;
    QFont buttonFont = m_metrics.FontOf(Font::Text);
    if (!c.m_strActionFontName.empty())
        buttonFont = FontOfHeight(Q(c.m_strActionFontName), c.m_nActionFontHeight != 0 ? c.m_nActionFontHeight : 40);
    const QFontMetrics buttonMetrics(buttonFont);
    const auto measure = [&](const std::string& text) {
        return TextSize{buttonMetrics.horizontalAdvance(Q(text)), buttonMetrics.height()};
    };
    const SelectActionLayout layout =
        LayoutSelectAction(m_metrics, measure, c, c.m_vecActionRects, snapshot.width, snapshot.height);
    DrawPlaced(painter, layout.title);

    if (c.m_vecActionLines.empty()) {
        for (size_t i = 0; i < layout.defaults.size(); ++i) {
            painter.save();
            const bool hover = c.m_nHoverAction == static_cast<int32_t>(i) + 1;
            painter.setPen(ToQColor(hover ? c.m_crHighlight : c.m_crText));
            DrawPlaced(painter, layout.defaults[i]);
            painter.restore();
        }
        m_ui.EditContent([&](CustomerUIContent& content) { content.m_rcDefaultActions = layout.defaultRects; });
        return false;  // no arrows, timer box or message line here
    }

    m_ui.EditContent([&](CustomerUIContent& content) {
        if (content.m_vecActionRects.size() < layout.buttons.size()) content.m_vecActionRects = layout.buttons;
    });
    painter.save();
    painter.setFont(buttonFont);
    for (size_t i = 0; i < layout.buttons.size() && i < c.m_vecActionLines.size(); ++i) {
        const bool hover = c.m_nHoverAction == static_cast<int32_t>(i) + 1;
        const QRect button = ToQRectInclusive(layout.buttons[i]);
        if (c.m_crActionBack != -1) {
            const int64_t back = hover && c.m_crActionBackHighlight != -1 ? c.m_crActionBackHighlight : c.m_crActionBack;
            const QColor colour = ToQColor(static_cast<COLORREF>(back));
            painter.setPen(QPen(colour, 1));
            painter.setBrush(colour);
            const double r = c.m_nActionCornerRadius / 2.0;
            painter.drawRoundedRect(button.adjusted(0, 0, -1, -1), r, r);
        }
        COLORREF text = c.m_crText;
        if (hover)
            text = c.m_crActionTextHighlight != -1 ? static_cast<COLORREF>(c.m_crActionTextHighlight) : c.m_crHighlight;
        else if (c.m_crActionText != -1)
            text = static_cast<COLORREF>(c.m_crActionText);
        painter.setPen(ToQColor(text));
        painter.drawText(button, Qt::AlignCenter | Qt::TextSingleLine, Q(c.m_vecActionLines[i]));
    }
    painter.restore();
    return false;
}

// --- States 2 and 3 -------------------------------------------------------------

bool CustomerScreen::PaintPromptInsertFlowcell(QPainter& painter, const QRect& updateRect) {
    m_ui.ShowEditControls(0, 0, 0);
    const int32_t w = width(), h = height();
    DrawPlaced(painter, CentredText(m_metrics, Font::Text,
                                    "Please insert your flowcell/cartridge and engage the clamp lever.", w,
                                    RoundHalfAway(h * 0.2)));
    DrawPicture(painter, CustomerPicture("PromptInsertFlowcell.png"), FractionRect(w, h, 0.25, 0.3, 0.75, 0.9),
                updateRect);
    return true;
}

bool CustomerScreen::PaintPipetteSample(QPainter& painter, const QRect& updateRect) {
    m_ui.ShowEditControls(0, 0, 0);
    const int32_t w = width(), h = height();
    const PlacedText first =
        CentredText(m_metrics, Font::Text, "Cartridge insertion successful!", w, RoundHalfAway(h * 0.16));
    DrawPlaced(painter, first);
    DrawPlaced(painter, CentredText(m_metrics, Font::Text, "Please pipette 200ul of your sample into the inlet port.",
                                    w, first.at.y + first.size.cy));
    DrawPicture(painter, CustomerPicture("PipetteSample.png"), FractionRect(w, h, 0.25, 0.3, 0.75, 0.82), updateRect);
    DrawPicture(painter, CustomerPicture("PipetteSample_1.png"), FractionRect(w, h, 0.4, 0.85, 0.6, 0.95),
                updateRect);
    return true;
}

// --- States 8, 10 and 11 ----------------------------------------------------------

bool CustomerScreen::PaintForm(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    const int32_t state = snapshot.state;
    const CustomerUIContent& c = snapshot.content;
    const size_t n = std::min<size_t>(c.m_vecInputLabels.size(), kInputEdits.size());
    if (state == 10) {
        m_ui.HideInputEdits();
        for (size_t k = 0; k < kInputEdits.size(); ++k) m_ui.ShowControl(IDC_CHECK1 + static_cast<int>(k), k < n);
    } else {
        m_ui.HideStateControls();
        for (size_t k = 0; k < kInputEdits.size(); ++k) m_ui.ShowControl(kInputEdits[k], k < n);
    }
    const FormLayout layout = LayoutForm(m_metrics, state, c, snapshot.width, snapshot.height);
    // Controls follow the layout on every paint, also when the block itself
    // lies outside the area being repainted.
    for (size_t k = 0; k < layout.rows.size(); ++k) {
        const int id = state == 10 ? IDC_CHECK1 + static_cast<int>(k) : kInputEdits[k];
        m_ui.MoveControl(id, layout.rows[k].control);
    }
    if (state == kStatePromptForFilename) {
        m_ui.EditContent([&](CustomerUIContent& content) {
            content.m_vecBrowseRects.resize(layout.rows.size());
            for (size_t k = 0; k < layout.rows.size(); ++k) content.m_vecBrowseRects[k] = layout.rows[k].browse;
        });
    }
    const QRect block(0, layout.blockTop, width(), layout.blockHeight + 1);
    if (block.intersects(updateRect) || layout.rows.empty()) {
        for (const PlacedText& line : layout.lines) DrawPlaced(painter, line);
        painter.save();
        for (size_t k = 0; k < layout.rows.size(); ++k) {
            const FormRow& row = layout.rows[k];
            painter.setPen(ToQColor(c.m_crText));
            painter.drawText(ToQRect(row.label), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                             Q(c.m_vecInputLabels[k]));
            if (state == 10) continue;
            painter.setPen(QPen(ToQColor(c.m_crText), 2));
            painter.drawLine(row.line.left, row.line.top, row.line.right, row.line.top);
            if (state == kStatePromptForFilename) {
                const bool hover = k < c.m_vecBrowseHover.size() && c.m_vecBrowseHover[k];
                painter.setPen(ToQColor(hover ? c.m_crText : kBrowseColour));
                painter.drawText(ToQRect(row.browse), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                                 "Browse");
            }
        }
        painter.restore();
    }
    return true;
}

// --- State 9 ------------------------------------------------------------------------

bool CustomerScreen::PaintPromptInfo(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    m_ui.ShowEditControls(0, 0, 0);
    const CustomerUIContent& c = snapshot.content;
    const InfoLayout layout = LayoutPromptInfo(m_metrics, c.m_vecTextLines, snapshot.width, snapshot.height);
    for (size_t i = 0; i < layout.images.size(); ++i) DrawPicture(painter, EntryOr(c.m_vecImages, i), layout.images[i], updateRect);
    for (const PlacedText& line : layout.lines) DrawPlaced(painter, line);
    return true;
}

// --- State 7 ------------------------------------------------------------------------

void CustomerScreen::LayoutExposurePanel() {
    std::array<std::string, 3> names;
    for (int k = 0; k < 3; ++k) {
        char buffer[256] = {};
        const std::string key = "ImageTypeName" + std::to_string(k + 1);
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key.c_str(), "", buffer, sizeof buffer - 1,
                                           g_IniPath);
        names[static_cast<size_t>(k)] = buffer;
    }
    const CustomerUISnapshot snapshot = m_ui.Snapshot();
    const int32_t comboWindowHeight = Control(IDC_COMBO1) ? Control(IDC_COMBO1)->height() : 0;
    const ExposurePanelLayout panel =
        customer_ui::LayoutExposurePanel(m_metrics, names, snapshot.width, snapshot.height,
                                         comboWindowHeight > 0 ? comboWindowHeight : snapshot.content.m_nComboHeight,
                                         snapshot.content.m_nComboHeight, theApp.m_bQX4Lite);
    for (int k = 0; k < 3; ++k) {
        m_ui.MoveControl(IDC_COMBO1 + k, panel.combos[static_cast<size_t>(k)]);
        m_ui.MoveControl(IDC_RADIO1 + k, panel.radios[static_cast<size_t>(k)]);
        const RECT& strip = panel.strips[static_cast<size_t>(k)];
        m_ui.m_IntensityControls[static_cast<size_t>(k)].m_rect = {strip.left, strip.top, strip.right, strip.bottom};
    }
    m_ui.EditContent([&](CustomerUIContent& content) {
        content.m_rcImageTypeLabels = panel.labels;
        content.m_bExposurePanelLayoutDirty = false;
    });
    m_imageTypeNames = names;
    m_exposurePanel = panel;
}

void CustomerScreen::DrawExposureUnits(QPainter& painter, const QRect& updateRect) {
    const int32_t x = ExposureUnitX(m_exposurePanel);
    const int rows = theApp.m_bQX4Lite ? 1 : 3;
    const TextSize mu = m_metrics.Measure(Font::Symbol, "\xC2\xB5");
    const TextSize s = m_metrics.Measure(Font::Medium, "s");
    painter.save();
    for (int k = 0; k < rows; ++k) {
        const RECT& combo = m_exposurePanel.combos[static_cast<size_t>(k)];
        const RECT& radio = m_exposurePanel.radios[static_cast<size_t>(k)];
        if (!QRect(combo.right, combo.top, radio.left - combo.right, combo.bottom - combo.top).intersects(updateRect))
            continue;
        const int32_t y = (combo.top + combo.bottom) / 2 - mu.cy / 2;
        painter.setFont(m_metrics.FontOf(Font::Symbol));
        painter.drawText(QRect(x - mu.cx, y, mu.cx + 1, mu.cy), Qt::AlignLeft | Qt::AlignTop, "\u00B5");
        painter.setFont(m_metrics.FontOf(Font::Medium));
        painter.drawText(QRect(x, y, s.cx + 2, s.cy), Qt::AlignLeft | Qt::AlignTop, "s");
    }
    painter.restore();
}

bool CustomerScreen::PaintShowVideo(QPainter& painter, const CustomerUISnapshot& snapshot, const QRect& updateRect) {
    const CustomerUIContent& c = snapshot.content;
    if (c.m_bExposurePanelLayoutDirty) LayoutExposurePanel();
    const bool firstPaint = m_ui.GetPaintedState() != snapshot.state || c.m_bFullRepaint;
    if (firstPaint) {
        m_ui.ShowEditControls(IDC_RADIO1, IDC_RADIO2, IDC_RADIO3);
        m_ui.m_ftLiveStopRequest = 0;
    }
    if (m_ui.GetControlText(IDC_COMBO1).empty() || c.m_bFullRepaint) m_ui.LoadImageTypeSettings();
    DrawTextLines(painter, 2, nullptr, 0.7);

    const int rows = theApp.m_bQX4Lite ? 1 : 3;
    painter.save();
    painter.setFont(m_metrics.FontOf(Font::Combo));
    for (int k = 0; k < rows; ++k) {
        const RECT& label = m_exposurePanel.labels[static_cast<size_t>(k)];
        painter.drawText(QRect(label.left, label.top, label.right - label.left, label.bottom - label.top + 40),
                         Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, Q(m_imageTypeNames[static_cast<size_t>(k)]));
    }
    painter.restore();
    DrawExposureUnits(painter, updateRect);

    if (firstPaint) {
        m_ui.EditContent([](CustomerUIContent& content) { content.m_bFullRepaint = false; });
        for (int combo : {IDC_COMBO1, IDC_COMBO2, IDC_COMBO3}) m_ui.UpdateExposureComboVisibility(combo);
    }
    if (theApp.m_bQX4Lite) {
        for (int id : {IDC_RADIO2, IDC_RADIO3, IDC_COMBO2, IDC_COMBO3}) m_ui.ShowControl(id, false);
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    if (LiveRestartDue(platform::SystemTimeToFileTime100ns(now), m_ui.m_ftLiveStopRequest.load()))
        m_ui.SetTimer(kTimerLiveOn, 10);
    SetFlowSplitLineVisible(c.m_bShowSplitLine);

    const std::string& second = EntryOr(c.m_vecImages, 1);
    DrawPicture(painter, second.empty() ? CustomerPicture("SampleEqulibrating_1.png") : second,
                StatusPictureRect(snapshot.width, snapshot.height), updateRect);

    m_ui.ChooseInitialLiveImageType();

    if (c.m_bShowSplitLine && ToQRect(c.m_rcSplitPercent).intersects(updateRect)) {
        std::string percent = m_ui.GetSplitPercent();
        if (percent.empty()) {
            m_ui.UpdateFlowSplitText(false);
            percent = m_ui.GetSplitPercent();
        }
        painter.drawText(ToQRect(c.m_rcSplitPercent), Qt::AlignCenter | Qt::TextSingleLine, Q(percent));
    }

    // The live picture the render thread handed over, in the video panel.
    if (!m_imgVideo.isNull() && ToQRect(c.m_rcVideo).intersects(updateRect))
        painter.drawImage(QPoint(c.m_rcVideo.left, c.m_rcVideo.top), m_imgVideo);
    return true;
}

void CustomerScreen::PaintVideoAfterShared(QPainter& painter, const QRect& updateRect) {
    const int rows = theApp.m_bQX4Lite ? 1 : 3;
    for (int k = 0; k < rows; ++k) DrawExposureOffBox(painter, IDC_COMBO1 + k);
    Tovanix::IntensityControl& control = m_ui.m_IntensityControls[static_cast<size_t>(m_ui.ActiveIntensityControl())];
    const RECT area = HistogramRepaintArea(control.m_rect);
    if (!ToQRectInclusive(area).intersects(updateRect)) return;
    Tovanix::QtIntensityCanvas canvas(painter);
    CString error;
    control.Draw(canvas, error);
}

// --- States 12 to 14 ---------------------------------------------------------------------

bool CustomerScreen::PaintPromptForImageChecks(QPainter& painter, const CustomerUISnapshot& snapshot,
                                               const QRect& updateRect) {
    const CustomerUIContent& c = snapshot.content;
    if (c.m_vecInputLabels.empty()) return false;
    m_ui.HideInputEdits();
    for (int slot = 0; slot < 5; ++slot) {
        const std::string& image = EntryOr(c.m_vecImages, static_cast<size_t>(slot));
        const RECT rect = CheckScreenImageRect(snapshot.width, snapshot.height, slot);
        if (image.empty() || !ToQRect(rect).intersects(updateRect)) continue;
        // A missing caption draws the image in grey.
        Tovanix::DrawImageFileTinted(image.c_str(), EntryOr(c.m_vecImageCaptions, static_cast<size_t>(slot)).c_str(),
                                     painter, ToQRect(rect));
    }
    if (!c.m_vecTextLines.empty()) {
        DrawPlaced(painter, CentredText(m_metrics, Font::Text, c.m_vecTextLines[0], snapshot.width,
                                        CheckScreenTitleY(m_metrics, snapshot.width, snapshot.height)));
    }
    const size_t n = std::min<size_t>(c.m_vecInputLabels.size(), kCheckBoxCount);
    for (size_t k = 0; k < static_cast<size_t>(kCheckBoxCount); ++k) m_ui.ShowControl(IDC_CHECK1 + static_cast<int>(k), k < n);
    const CheckRowLayout row = LayoutImageCheckRow(m_metrics, c.m_vecInputLabels, snapshot.width, snapshot.height);
    for (size_t k = 0; k < row.labels.size(); ++k) {
        painter.drawText(ToQRect(row.labels[k]), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                         Q(c.m_vecInputLabels[k]));
        m_ui.MoveControl(IDC_CHECK1 + static_cast<int>(k), row.boxes[k]);
    }
    return true;
}

bool CustomerScreen::PaintPromptForFusedImageVerification(QPainter& painter, const CustomerUISnapshot& snapshot,
                                                          const QRect& updateRect) {
    const CustomerUIContent& c = snapshot.content;
    if (c.m_vecTextLines.empty()) return false;
    m_ui.ShowEditControls(0, 0, 0);
    const RECT r1 = CheckScreenImageRect(snapshot.width, snapshot.height, 0);
    // Missing images are left out of the composite.
    const std::string& base = EntryOr(c.m_vecImages, 0);
    if (!base.empty() && ToQRect(r1).intersects(updateRect)) {
        Tovanix::DrawCompositeImageFiles(base.c_str(), EntryOr(c.m_vecImages, 3).c_str(),
                                         EntryOr(c.m_vecImages, 4).c_str(), painter, ToQRect(r1));
    }
    DrawPlaced(painter, CentredText(m_metrics, Font::Text, c.m_vecTextLines[0], snapshot.width,
                                    CheckScreenTitleY(m_metrics, snapshot.width, snapshot.height)));
    return true;
}

bool CustomerScreen::PaintPromptForMontageReport(QPainter& painter, const CustomerUISnapshot& snapshot,
                                                 const QRect& updateRect) {
    const CustomerUIContent& c = snapshot.content;
    if (c.m_vecTextLines.empty()) return false;
    m_ui.ShowEditControls(0, 0, 0);
    if (c.m_vecImages.size() >= 6)
        DrawPicture(painter, c.m_vecImages[5], CheckScreenImageRect(snapshot.width, snapshot.height, 5), updateRect);
    const ReportTextRows rows =
        LayoutMontageReport(m_metrics, c.m_vecTextLines.size(), c.m_vecInputLabels.size(), snapshot.width, snapshot.height);
    const std::pair<int32_t, const std::string*> texts[] = {
        {rows.line1, &EntryOr(c.m_vecTextLines, 0)},
        {rows.line2, &EntryOr(c.m_vecTextLines, 1)},
        {rows.result1, &EntryOr(c.m_vecInputLabels, 0)},
        {rows.result2, &EntryOr(c.m_vecInputLabels, 1)},
    };
    for (const auto& [y, text] : texts) {
        if (y >= 0 && !text->empty()) DrawPlaced(painter, CentredText(m_metrics, Font::Text, *text, snapshot.width, y));
    }
    return true;
}
