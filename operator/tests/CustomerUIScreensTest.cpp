// Layout of the run screen's single screens with fixed text metrics: every
// character 20 pixels wide, every line 40 pixels high.

#include <gtest/gtest.h>

#include "operator/CustomerUI.h"
#include "operator/CustomerUIScreens.h"
#include "operator/tests/CustomerUITestSupport.h"

namespace {

using namespace customer_ui;
using customer_ui_testing::FixedMetrics;

constexpr int32_t W = 1920;
constexpr int32_t H = 1080;

TEST(CustomerUIScreens, LoginLinesUpBothEditsWithTheEndOfTheFirstLine) {
    FixedMetrics metrics;
    const LoginLayout layout = LayoutLogin(metrics, W, H);
    const std::string prompt = "Please login to start sorting.";
    EXPECT_EQ(layout.prompt.at.y, 432);  // 40% of 1080
    EXPECT_EQ(layout.prompt.at.x, 960 - static_cast<int32_t>(prompt.size()) * 10);
    EXPECT_EQ(layout.userLabel.at.y, 432 + 80 - 2);
    EXPECT_EQ(layout.userEdit.right, layout.prompt.at.x + layout.prompt.size.cx - 1);
    EXPECT_EQ(layout.passwordEdit.right, layout.userEdit.right);
    EXPECT_EQ(layout.userEdit.left, layout.prompt.at.x + 9 * 20 - 1 + 39 / 4);  // "UserName:" is the wider label
    EXPECT_EQ(layout.passwordLabel.at.y, layout.userEdit.bottom + 39 / 4);
    EXPECT_EQ(layout.userLine.top, layout.userEdit.bottom + 4);
}

TEST(CustomerUIScreens, ActionChoiceTitleDefaultsAndButtons) {
    FixedMetrics metrics;
    const auto measure = [&](const std::string& text) { return metrics.Measure(Font::Text, text); };
    CustomerUIContent content;

    // No text line: the action title at 40%, or 10 points above the actions' line.
    SelectActionLayout layout = LayoutSelectAction(metrics, measure, content, {}, W, H);
    EXPECT_EQ(layout.title.text, content.m_strActionTitle);
    EXPECT_EQ(layout.title.at.y, 432);
    EXPECT_EQ(layout.defaults[0].at.y, 2 * (432 + 39) - 432);
    EXPECT_EQ(layout.defaultRects[1].top, layout.defaultRects[0].bottom + 39 / 3);
    content.m_dActionsTopLinePos = 0.5;
    layout = LayoutSelectAction(metrics, measure, content, {}, W, H);
    EXPECT_EQ(layout.title.at.y, 432);  // 0.4 of the height
    content.m_dActionsTopLinePos = 0.6;
    layout = LayoutSelectAction(metrics, measure, content, {}, W, H);
    EXPECT_EQ(layout.title.at.y, 540);

    // Buttons: 1.2 times the tallest and widest line, half a height apart.
    content.m_vecActionLines = {"Sort", "Clean up"};
    layout = LayoutSelectAction(metrics, measure, content, {}, W, H);
    ASSERT_EQ(layout.buttons.size(), 2u);
    EXPECT_EQ(layout.buttons[0].top, RoundHalfAway(H * 0.6));
    EXPECT_EQ(layout.buttons[0].bottom - layout.buttons[0].top + 1, 48);
    EXPECT_EQ(layout.buttons[0].right - layout.buttons[0].left + 1, 192);
    EXPECT_EQ(layout.buttons[1].top, layout.buttons[0].top + 24 + 48);
    // Existing rectangles are kept as they are.
    RECT kept{1, 2, 3, 4};
    layout = LayoutSelectAction(metrics, measure, content, {kept}, W, H);
    EXPECT_EQ(layout.buttons[0], kept);
    EXPECT_EQ(layout.buttons.size(), 2u);
    content.m_nActionButtonWidth = 500;
    content.m_nActionVerticalSpacing = 7;
    layout = LayoutSelectAction(metrics, measure, content, {}, W, H);
    EXPECT_EQ(layout.buttons[0].left, (W - 500) / 2);
    EXPECT_EQ(layout.buttons[1].top - layout.buttons[0].top, 55);
}

TEST(CustomerUIScreens, FormRowsAndBrowseBoxes) {
    FixedMetrics metrics;
    CustomerUIContent content;
    content.m_vecInputLabels = {"Sample", "Operator ID"};
    content.m_vecInputMaxLengths = {10, 20};
    // Without text lines the rows start near the top, 3 g below row 0.
    FormLayout form = LayoutForm(metrics, 8, content, W, H);
    const int32_t g = 80 / 3;
    ASSERT_EQ(form.rows.size(), 2u);
    EXPECT_EQ(form.rows[0].label.top, 3 * g);
    EXPECT_EQ(form.rows[1].label.top, 3 * g + 40 + g);
    const int32_t A = (W - 11 * 20 - 20 * 20 - 20) / 2;
    EXPECT_EQ(form.rows[0].label.left, A);
    EXPECT_EQ(form.rows[1].control.right - form.rows[1].control.left, 400);
    EXPECT_EQ(form.rows[0].line.top, form.rows[0].control.bottom + 4);

    content.m_vecTextLines = {"Enter the run's details"};
    form = LayoutForm(metrics, kStatePromptForFilename, content, W, H);
    EXPECT_EQ(form.blockHeight, 2 * g + 2 * (40 + g) + 40);
    EXPECT_EQ(form.lines[0].at.y, (H - form.blockHeight) / 2);
    EXPECT_EQ(form.rows[0].label.top, form.lines[0].at.y + 40 - 1 + 3 * g);
    EXPECT_EQ(form.rows[0].browse.right, form.rows[0].control.right);
    EXPECT_EQ(form.rows[0].browse.left, form.rows[0].control.right - 120);
    EXPECT_EQ(form.rows[0].browse.top, form.rows[0].control.bottom + 10);

    // Check boxes: a square right of the label column.
    form = LayoutForm(metrics, 10, content, W, H);
    EXPECT_EQ(form.rows[0].label.left, (W - 220) / 2);
    EXPECT_EQ(form.rows[0].control.left, form.rows[0].label.right + 20);
    EXPECT_EQ(form.rows[0].control.right - form.rows[0].control.left, 40);
}

TEST(CustomerUIScreens, InformationLinesSkipEmptyOnesAndCentreInTheirBand) {
    FixedMetrics metrics;
    const InfoLayout info = LayoutPromptInfo(metrics, {"one", "", "three"}, W, H);
    ASSERT_EQ(info.lines.size(), 2u);
    const int32_t top = RoundHalfAway(H * 0.67), bottom = RoundHalfAway(H * 0.85);
    EXPECT_EQ(info.lines[0].at.y, top + (bottom - top - 80) / 2);
    EXPECT_EQ(info.lines[1].at.y, info.lines[0].at.y + 39);
    EXPECT_EQ(info.images[2], FractionRect(W, H, 0.1, 0.15, 0.9, 0.67));
}

TEST(CustomerUIScreens, ExposurePanelAndItsLiteVariant) {
    FixedMetrics metrics;
    const std::array<std::string, 3> names = {"Brightfield", "Red", "Green"};
    const ExposurePanelLayout full = LayoutExposurePanel(metrics, names, W, H, 30, 30, false);
    const ExposurePanelLayout lite = LayoutExposurePanel(metrics, names, W, H, 30, 30, true);
    const int32_t P = 11 * 20 + 40 + 108 + 20;
    EXPECT_EQ(full.labels[0].left, RoundHalfAway(W * 0.88 - P / 2));
    EXPECT_EQ(full.labels[0].top, RoundHalfAway(H * 0.45 - (9 * 44) / 2) + 3);
    EXPECT_EQ(lite.labels[0].top, full.labels[0].top + 30 + 40);
    EXPECT_EQ(full.combos[0].left, full.labels[0].right + 12);
    EXPECT_EQ(full.radios[0].left, full.combos[0].right + 12 + RoundHalfAway(40 * 0.6));
    EXPECT_EQ(full.strips[0].top, full.labels[0].top + 38);
    EXPECT_EQ(full.labels[1].top, full.strips[0].bottom + 40);
    EXPECT_EQ(ExposureUnitX(full), (full.combos[0].right + full.radios[0].left) / 2);

    // Eleven seconds hold the automatic restart off.
    EXPECT_FALSE(LiveRestartDue(1000 + 109999999ull, 1000));
    EXPECT_TRUE(LiveRestartDue(1000 + 110000000ull, 1000));
    EXPECT_TRUE(LiveRestartDue(130000000000ull, 0));
}

TEST(CustomerUIScreens, ImageCheckRowAndReportTexts) {
    FixedMetrics metrics;
    const CheckRowLayout row = LayoutImageCheckRow(metrics, {"OK", "Blurred", "Dark"}, W, H);
    ASSERT_EQ(row.labels.size(), 3u);
    const RECT r3 = CheckScreenImageRect(W, H, 2);
    const int32_t widest = 7 * 20;
    // Centred within R3, ten "W" widths between a box and the next label.
    const int32_t total = 3 * (20 + 40 + widest) + 2 * 200;
    EXPECT_EQ(row.labels[0].left, r3.left + ((r3.right - r3.left) - total) / 2);
    EXPECT_EQ(row.labels[1].left, row.labels[0].right + 20 + 40 + 200);
    EXPECT_EQ(row.boxes[0].left, row.labels[0].right + 20);
    EXPECT_EQ(row.labels[0].top, CheckScreenImageRect(W, H, 0).bottom + 20);
    EXPECT_TRUE(LayoutImageCheckRow(metrics, {}, W, H).labels.empty());

    const RECT montage = CheckScreenImageRect(W, H, 5);
    ReportTextRows rows = LayoutMontageReport(metrics, 2, 2, W, H);
    EXPECT_EQ(rows.line1, montage.top - 120);
    EXPECT_EQ(rows.line2, montage.top - 60);
    EXPECT_EQ(rows.result1, montage.bottom + 40);
    EXPECT_EQ(rows.result2, montage.bottom + 100);
    rows = LayoutMontageReport(metrics, 2, 3, W, H);
    EXPECT_EQ(rows.result1, -1);
    EXPECT_EQ(rows.result2, -1);
}

}  // namespace
