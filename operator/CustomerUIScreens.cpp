#include "operator/CustomerUIScreens.h"

#include <algorithm>
#include <cmath>

#include "operator/CustomerUI.h"

namespace customer_ui {

namespace {

constexpr size_t kMaxRows = 6;

RECT MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    RECT r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

}  // namespace

RECT FractionRect(int32_t width, int32_t height, double left, double top, double right, double bottom) {
    return MakeRect(RoundHalfAway(width * left), RoundHalfAway(height * top), RoundHalfAway(width * right),
                    RoundHalfAway(height * bottom));
}

PlacedText CentredText(const TextMetrics& metrics, Font font, const std::string& text, int32_t width, int32_t y) {
    PlacedText placed;
    placed.text = text;
    placed.size = metrics.Measure(font, text);
    placed.at = {RoundHalfAway(width * 0.5 - placed.size.cx / 2), y};
    return placed;
}

LoginLayout LayoutLogin(const TextMetrics& metrics, int32_t width, int32_t height) {
    LoginLayout layout;
    layout.prompt = CentredText(metrics, Font::Text, "Please login to start sorting.", width, RoundHalfAway(height * 0.4));
    const int32_t x0 = layout.prompt.at.x;
    const int32_t y0 = layout.prompt.at.y;
    const TextSize first = layout.prompt.size;

    layout.userLabel = {"UserName:", {x0, y0 + 2 * first.cy - 2}, metrics.Measure(Font::Text, "UserName:")};
    const int32_t yU = layout.userLabel.at.y;
    const int32_t bU = yU + layout.userLabel.size.cy - 1;
    const int32_t yP = bU + (bU - yU) / 4;
    layout.passwordLabel = {"Password:", {x0, yP}, metrics.Measure(Font::Text, "Password:")};
    const int32_t bP = yP + layout.passwordLabel.size.cy - 1;

    const int32_t left = x0 + std::max(layout.userLabel.size.cx, layout.passwordLabel.size.cx) - 1 + (first.cy - 1) / 4;
    const int32_t right = x0 + first.cx - 1;
    layout.userEdit = MakeRect(left, yU, right, bU);
    layout.passwordEdit = MakeRect(left, yP, right, bP);
    layout.userLine = MakeRect(left, bU + 4, right, bU + 4);
    layout.passwordLine = MakeRect(left, bP + 4, right, bP + 4);
    return layout;
}

SelectActionLayout LayoutSelectAction(const TextMetrics& metrics, const MeasureFunction& measureButton,
                                      const CustomerUIContent& content, const std::vector<RECT>& existing,
                                      int32_t width, int32_t height) {
    SelectActionLayout layout;
    if (!content.m_vecTextLines.empty()) {
        layout.title = CentredText(metrics, Font::Text, content.m_vecTextLines[0].empty() ? " " : content.m_vecTextLines[0],
                                   width, RoundHalfAway(height * content.m_dTopLinePos));
    } else {
        const double f = content.m_dActionsTopLinePos != 0.0 ? content.m_dActionsTopLinePos - 0.1 : 0.4;
        layout.title = CentredText(metrics, Font::Text, content.m_strActionTitle, width, RoundHalfAway(height * f));
    }
    const int32_t t = layout.title.at.y;
    const int32_t b = t + layout.title.size.cy - 1;

    if (content.m_vecActionLines.empty()) {
        int32_t y = 2 * b - t;
        for (size_t i = 0; i < kDefaultActions.size(); ++i) {
            layout.defaults[i] = CentredText(metrics, Font::Text, kDefaultActions[i], width, y);
            const PlacedText& d = layout.defaults[i];
            layout.defaultRects[i] = MakeRect(d.at.x, d.at.y, d.at.x + d.size.cx - 1, d.at.y + d.size.cy - 1);
            y = layout.defaultRects[i].bottom + (b - t) / 3;
        }
        return layout;
    }

    layout.buttons = existing;
    if (layout.buttons.size() >= content.m_vecActionLines.size()) {
        layout.buttons.resize(content.m_vecActionLines.size());
        return layout;
    }
    int32_t tallest = 0, widest = 0;
    for (const std::string& line : content.m_vecActionLines) {
        const TextSize size = measureButton(line);
        tallest = std::max(tallest, size.cy);
        widest = std::max(widest, size.cx);
    }
    const int32_t h = RoundHalfAway(1.2 * tallest);
    const int32_t w = content.m_nActionButtonWidth != 0 ? content.m_nActionButtonWidth : RoundHalfAway(1.2 * widest);
    const int32_t s = content.m_nActionVerticalSpacing != 0 ? content.m_nActionVerticalSpacing
                                                            : static_cast<int32_t>(h * 0.5);
    const int32_t first =
        content.m_dActionsTopLinePos != 0.0 ? RoundHalfAway(height * content.m_dActionsTopLinePos) : 2 * b - t;
    for (size_t i = layout.buttons.size(); i < content.m_vecActionLines.size(); ++i) {
        const int32_t left = (width - w) / 2;
        const int32_t top = first + static_cast<int32_t>(i) * (s + h);
        layout.buttons.push_back(MakeRect(left, top, left + w - 1, top + h - 1));
    }
    return layout;
}

FormLayout LayoutForm(const TextMetrics& metrics, int32_t state, const CustomerUIContent& content, int32_t width,
                      int32_t height) {
    FormLayout layout;
    const size_t n = std::min(content.m_vecInputLabels.size(), kMaxRows);
    const size_t lineCount = content.m_vecTextLines.size();
    const TextSize I = metrics.Measure(Font::Text, "I");
    const TextSize W = metrics.Measure(Font::Text, "W");
    const int32_t cyI = I.cy;
    const int32_t g = (2 * cyI) / 3;
    layout.blockHeight = 2 * g + static_cast<int32_t>(n) * (cyI + g) + static_cast<int32_t>(lineCount) * cyI;
    layout.blockTop = (height - layout.blockHeight) / 2;

    int32_t y = layout.blockTop;
    int32_t lastBottom = 0;
    for (const std::string& line : content.m_vecTextLines) {
        layout.lines.push_back(CentredText(metrics, Font::Text, line, width, y));
        y += layout.lines.back().size.cy;
        lastBottom = y - 1;
    }

    int32_t widestLabel = 0, widestEdit = 0;
    for (size_t k = 0; k < n; ++k) {
        widestLabel = std::max(widestLabel, metrics.Measure(Font::Text, content.m_vecInputLabels[k]).cx);
        const int32_t maxLength = k < content.m_vecInputMaxLengths.size() ? content.m_vecInputMaxLengths[k] : 0;
        widestEdit = std::max(widestEdit, W.cx * maxLength);
    }
    const int32_t columnLeft = state == 10 ? (width - widestLabel) / 2 : (width - widestLabel - widestEdit - I.cx) / 2;
    const TextSize browse = metrics.Measure(Font::Text, "Browse");

    int32_t top = lastBottom + 3 * g;
    for (size_t k = 0; k < n; ++k) {
        FormRow row;
        row.label = MakeRect(columnLeft, top, columnLeft + widestLabel, top + cyI);
        if (state == 10) {
            const int32_t left = columnLeft + widestLabel + W.cx;
            row.control = MakeRect(left, top, left + cyI, top + cyI - 1);
        } else {
            const int32_t maxLength = k < content.m_vecInputMaxLengths.size() ? content.m_vecInputMaxLengths[k] : 0;
            const int32_t left = columnLeft + widestLabel + I.cx;
            row.control = MakeRect(left, top, left + W.cx * maxLength, top + cyI);
            row.line = MakeRect(row.control.left, row.control.bottom + 4, row.control.right, row.control.bottom + 4);
            if (state == kStatePromptForFilename) {
                const int32_t browseTop = row.control.bottom + browse.cy / 4;
                row.browse = MakeRect(row.control.right - browse.cx, browseTop, row.control.right, browseTop + browse.cy);
            }
        }
        layout.rows.push_back(row);
        top += cyI + g;
    }
    return layout;
}

InfoLayout LayoutPromptInfo(const TextMetrics& metrics, const std::vector<std::string>& lines, int32_t width,
                            int32_t height) {
    InfoLayout layout;
    layout.images[0] = FractionRect(width, height, 0.25, 0.15, 0.75, 0.67);
    layout.images[1] = FractionRect(width, height, 0.4, 0.85, 0.6, 0.95);
    layout.images[2] = FractionRect(width, height, 0.1, 0.15, 0.9, 0.67);
    const int32_t cyI = metrics.Measure(Font::Text, "I").cy;
    int32_t shown = 0;
    for (const std::string& line : lines) shown += line.empty() ? 0 : 1;
    const int32_t bandTop = RoundHalfAway(height * 0.67);
    const int32_t bandBottom = RoundHalfAway(height * 0.85);
    int32_t y = bandTop + (bandBottom - bandTop - cyI * shown) / 2;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        layout.lines.push_back(CentredText(metrics, Font::Text, line, width, y));
        y += layout.lines.back().size.cy - 1;
    }
    return layout;
}

ExposurePanelLayout LayoutExposurePanel(const TextMetrics& metrics, const std::array<std::string, 3>& names,
                                        int32_t width, int32_t height, int32_t comboWindowHeight,
                                        int32_t comboHeight, bool lite) {
    ExposurePanelLayout panel;
    int32_t widestName = 0;
    for (const std::string& name : names) widestName = std::max(widestName, metrics.Measure(Font::Combo, name).cx);
    const TextSize W = metrics.Measure(Font::Text, "W");
    const int32_t u = RoundHalfAway(metrics.Measure(Font::Text, "us").cx * 0.6);
    const int32_t ch = comboWindowHeight;
    const int32_t cw = RoundHalfAway(comboHeight * 3.6);
    const int32_t P = widestName + W.cy + cw + 20;
    const int32_t x0 = RoundHalfAway(width * 0.88 - P / 2);
    int32_t y0 = RoundHalfAway(height * 0.45 - (9 * (W.cy + 4)) / 2);
    if (lite) y0 += ch + W.cy;

    int32_t top = y0 + 3;
    for (size_t row = 0; row < 3; ++row) {
        panel.labels[row] = MakeRect(x0, top, x0 + widestName, top + ch);
        panel.combos[row] = MakeRect(x0 + widestName + 12, top, x0 + widestName + 12 + cw, top + ch);
        const int32_t radioLeft = panel.combos[row].right + 12 + u;
        panel.radios[row] = MakeRect(radioLeft, top, radioLeft + W.cy, top + ch);
        panel.strips[row] = MakeRect(x0, top + ch + 8, x0 + P, top + ch + 8 + W.cy);
        top = panel.strips[row].bottom + W.cy;
    }
    return panel;
}

RECT StatusPictureRect(int32_t width, int32_t height) { return FractionRect(width, height, 0.4, 0.85, 0.6, 0.95); }

bool LiveRestartDue(uint64_t now100ns, uint64_t stopRequest100ns) {
    return now100ns > stopRequest100ns && now100ns - stopRequest100ns > 109999999ull;
}

int32_t ExposureUnitX(const ExposurePanelLayout& panel) { return (panel.combos[0].right + panel.radios[0].left) / 2; }

RECT CheckScreenImageRect(int32_t width, int32_t height, int slot) {
    static const double kFractions[6][4] = {
        {0.25, 0.23, 0.75, 0.75}, {0.4, 0.85, 0.6, 0.95},  {0.1, 0.23, 0.9, 0.75},
        {0.05, 0.23, 0.49, 0.75}, {0.51, 0.23, 0.95, 0.75}, {0.05, 0.4, 0.95, 0.6},
    };
    const double* f = kFractions[std::clamp(slot, 0, 5)];
    return FractionRect(width, height, f[0], f[1], f[2], f[3]);
}

CheckRowLayout LayoutImageCheckRow(const TextMetrics& metrics, const std::vector<std::string>& labels,
                                   int32_t width, int32_t height) {
    CheckRowLayout row;
    const RECT r1 = CheckScreenImageRect(width, height, 0);
    const RECT r3 = CheckScreenImageRect(width, height, 2);
    const int32_t n = static_cast<int32_t>(std::min(labels.size(), kMaxRows));
    if (n == 0) return row;
    const int32_t cxW = metrics.Measure(Font::Text, "W").cx;
    const int32_t cyI = metrics.Measure(Font::Text, "I").cy;
    int32_t widest = 0;
    for (int32_t k = 0; k < n; ++k) widest = std::max(widest, metrics.Measure(Font::Text, labels[static_cast<size_t>(k)]).cx);
    const int32_t top = r1.bottom + cyI / 2;
    int32_t left = r3.left + ((r3.right - r3.left) - n * (cxW + cyI + widest) - (n - 1) * 10 * cxW) / 2;
    for (int32_t k = 0; k < n; ++k) {
        const RECT label = MakeRect(left, top, left + widest, top + cyI);
        const int32_t boxLeft = label.right + cxW;
        row.labels.push_back(label);
        row.boxes.push_back(MakeRect(boxLeft, top, boxLeft + cyI, top + cyI - 1));
        left = label.right + cxW + cyI + 10 * cxW;
    }
    return row;
}

int32_t CheckScreenTitleY(const TextMetrics& metrics, int32_t width, int32_t height) {
    const int32_t cyI = metrics.Measure(Font::Text, "I").cy;
    return static_cast<int32_t>(CheckScreenImageRect(width, height, 0).top - 1.5 * cyI);
}

ReportTextRows LayoutMontageReport(const TextMetrics& metrics, size_t textLines, size_t resultLines, int32_t width,
                                   int32_t height) {
    ReportTextRows rows;
    const RECT montage = CheckScreenImageRect(width, height, 5);
    const int32_t cyI = metrics.Measure(Font::Text, "I").cy;
    if (textLines >= 1) rows.line1 = montage.top - 3 * cyI;
    if (textLines >= 2) rows.line2 = static_cast<int32_t>(montage.top - 1.5 * cyI);
    if (resultLines == 2) {
        rows.result1 = montage.bottom + cyI;
        rows.result2 = static_cast<int32_t>(montage.bottom + 2.5 * cyI);
    }
    return rows;
}

}  // namespace customer_ui
