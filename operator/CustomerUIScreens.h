#pragma once

// Layout of the run screen's single screens, as pure functions over the text
// metrics: the login, the action choice, the fixed cartridge and pipette
// prompts, the form screens (inputs, check boxes, file names), the
// information screen, the live video screen's exposure panel and the image
// check and report screens. The window's painters draw what these place and
// store the hit rectangles they give; tests fix the metrics and check the
// places.
//
// Conventions as in CustomerUILayout.h: client pixels, "round" half away from
// zero, integer "/" truncating toward zero. A text placed at a point has its
// top-left corner there.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "operator/CustomerUILayout.h"

namespace customer_ui {

struct CustomerUIContent;

// (round(W l), round(H t), round(W r), round(H b)).
RECT FractionRect(int32_t width, int32_t height, double left, double top, double right, double bottom);
// A text centred horizontally with its top at y.
PlacedText CentredText(const TextMetrics& metrics, Font font, const std::string& text, int32_t width, int32_t y);

// --- State 0: login ----------------------------------------------------------
struct LoginLayout {
    PlacedText prompt, userLabel, passwordLabel;
    RECT userEdit, passwordEdit;
    // The two-pixel lines under the edits: from (left, y) to (right, y).
    RECT userLine, passwordLine;
};
LoginLayout LayoutLogin(const TextMetrics& metrics, int32_t width, int32_t height);

// --- State 1: action choice ----------------------------------------------------
constexpr std::array<const char*, 3> kDefaultActions = {"Live Cell Enrichment", "Image Analysis",
                                                        "Technical Support"};
// Measures a line in the action buttons' font.
using MeasureFunction = std::function<TextSize(const std::string& text)>;
struct SelectActionLayout {
    PlacedText title;  // the first text line or the action title
    std::array<PlacedText, 3> defaults{};
    std::array<RECT, 3> defaultRects{};  // inclusive text rectangles
    std::vector<RECT> buttons;           // one per action line
};
// `existing` are the button rectangles already laid out (kept as they are);
// missing ones are added.
SelectActionLayout LayoutSelectAction(const TextMetrics& metrics, const MeasureFunction& measureButton,
                                      const CustomerUIContent& content, const std::vector<RECT>& existing,
                                      int32_t width, int32_t height);

// --- States 8, 10, 11: forms ------------------------------------------------------
struct FormRow {
    RECT label;     // the label is drawn right-aligned in it
    RECT control;   // edit (8, 11) or check box (10)
    RECT line;      // line under the edit (8, 11)
    RECT browse;    // Browse box (11)
};
struct FormLayout {
    std::vector<PlacedText> lines;  // the text lines
    std::vector<FormRow> rows;
    int32_t blockTop = 0;
    int32_t blockHeight = 0;
};
FormLayout LayoutForm(const TextMetrics& metrics, int32_t state, const CustomerUIContent& content, int32_t width,
                      int32_t height);

// --- State 9: information ---------------------------------------------------------
struct InfoLayout {
    std::array<RECT, 3> images{};
    std::vector<PlacedText> lines;  // non-empty lines only
};
InfoLayout LayoutPromptInfo(const TextMetrics& metrics, const std::vector<std::string>& lines, int32_t width,
                            int32_t height);

// --- State 7: live video ------------------------------------------------------------
struct ExposurePanelLayout {
    std::array<RECT, 3> labels{};
    std::array<RECT, 3> combos{};
    std::array<RECT, 3> radios{};
    std::array<RECT, 3> strips{};  // the histogram strips
};
// `names` are ImageTypeName1..3, `comboWindowHeight` the combo's current
// height, `comboHeight` the screen's measured combo height.
ExposurePanelLayout LayoutExposurePanel(const TextMetrics& metrics, const std::array<std::string, 3>& names,
                                        int32_t width, int32_t height, int32_t comboWindowHeight,
                                        int32_t comboHeight, bool lite);
RECT StatusPictureRect(int32_t width, int32_t height);
// Whether live capture is due to restart: more than 11 s since the stop
// request (times in 100 ns units since 1601).
bool LiveRestartDue(uint64_t now100ns, uint64_t stopRequest100ns);
// The x where "m" ends and "s" begins: between combo 1 and radio 1.
int32_t ExposureUnitX(const ExposurePanelLayout& panel);

// --- States 12 to 14: image checks and reports ----------------------------------------
// Image slots 1..6 (index 0..5).
RECT CheckScreenImageRect(int32_t width, int32_t height, int slot);
struct CheckRowLayout {
    std::vector<RECT> labels;
    std::vector<RECT> boxes;
};
// The check-box row under the images of state 12.
CheckRowLayout LayoutImageCheckRow(const TextMetrics& metrics, const std::vector<std::string>& labels,
                                   int32_t width, int32_t height);
// y of the title above image rectangle 1 (states 12, 13).
int32_t CheckScreenTitleY(const TextMetrics& metrics, int32_t width, int32_t height);
// The texts of the montage report: lines 1 and 2 above the strip, the two
// results below it (each y, or -1 when not drawn).
struct ReportTextRows {
    int32_t line1 = -1, line2 = -1, result1 = -1, result2 = -1;
};
ReportTextRows LayoutMontageReport(const TextMetrics& metrics, size_t textLines, size_t resultLines, int32_t width,
                                   int32_t height);

}  // namespace customer_ui
