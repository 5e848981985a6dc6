#include "operator/CustomerUICommands.h"

#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/FlowSplit.h"
#include "app/VelloraApp.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/LiveView.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommandFrame.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"

using namespace customer_ui;

namespace {

// Command indices of the screen's commands.
enum : int32_t {
    kLogin = 85,
    kSelectAction = 86,
    kPromptInsertFlowcell = 87,
    kPipetteSample = 88,
    kSampleBeingCollected = 93,
    kDefineFlowSplitRange = 94,
    kSetErrorMessage = 97,
    kSetTextLine = 99,
    kShowVideo = 100,
    kPromptForInput = 101,
    kSetInput = 102,
    kGetTextEditFieldContents = 103,
    kSetTimer = 104,
    kGetFlowSplit = 106,
    kSetNextButtonText = 107,
    kSetBackButtonText = 108,
    kShowSplitFlowLine = 109,
    kPromptInfo = 110,
    kSetImage = 111,
    kSetBackgroundColor = 117,
    kSetDefaultTextColor = 118,
    kSetHilightTextColor = 119,
    kSetImagePreviewZoomInArea = 120,
    kTriggerEventWhenPumpStopsMoving = 121,
    kRestoreDefaultState = 122,
    kDefineGroupBox = 124,
    kAddActionButtonLine = 125,
    kDefineActionButtonWidth = 126,
    kDefineActionButtonBackgroundColors = 127,
    kDefineActionButtonTextColors = 128,
    kDefineActionButtonFont = 129,
    kDefineActionButtonCornerRadius = 130,
    kDefineActionButtonVerticalSpacing = 131,
    kStopTimer = 132,
    kShowNext = 137,
    kShowBack = 138,
    kHideNext = 139,
    kHideBack = 140,
    kSetNextImages = 141,
    kSetBackImages = 142,
    kGetTimerInfo = 144,
    kSetTopLinePos = 154,
    kSetActionsTopLinePos = 155,
    kSetFlowSplit = 166,
    kPromptForInputChecks = 180,
    kSetCheckboxInput = 181,
    kGetCheckBoxState = 182,
    kStopLiveImageCapture = 146,
    kSetupResumeExperiment = 185,
    kGetAdminModeStatus = 186,
    kSetTitle = 188,
    kContinueTimer = 189,
    kPromptForInputFilename = 191,
    kSetInputFilename = 192,
    kSetSelectionActionTitle = 193,
    kGetGUISize = 199,
    kClearWorkflowLiveImageIntervals = 207,
    kAllowAdjustSplitFlowLine = 208,
};

// The main window's command that stops live capture.
constexpr int kCloseLivePreviewCommand = 32861;
constexpr int kMaxActionLines = 16;
constexpr int kMaxActionLineLength = 100;
constexpr int kLongestHide = 3600;

using namespace customer_ui_commands;

bool InByteRange(int value) { return value >= 0 && value <= 255; }

// --- Screens that wait --------------------------------------------------------

int32_t StateOfWaitingCommand(int32_t index) {
    switch (index) {
    case kLogin: return 0;
    case kSelectAction: return 1;
    case kPromptInsertFlowcell: return 2;
    case kPipetteSample: return 3;
    case kSampleBeingCollected: return 4;
    case kShowVideo: return 7;
    case kPromptForInput: return 8;
    case kPromptInfo: return 9;
    case kPromptForInputChecks: return 10;
    case kPromptForInputFilename: return 11;
    default: return kUndefinedState;
    }
}

template <int32_t Index>
bool WaitingScreen(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Index, error)) return false;
    Arguments args(text, variables, error);
    std::string ignored;
    Variable* result = nullptr;
    if (!args.Open() || !args.String(ignored, &result)) return false;
    if (check_only) return true;
    StoreString(result, ShowStateAndWait(StateOfWaitingCommand(Index)));
    return true;
}

// --- Content -------------------------------------------------------------------

bool SetTitle(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetTitle, error)) return false;
    Arguments args(text, variables, error);
    std::string title;
    if (!args.Open() || !args.String(title)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) { c.m_strTitle = title; });
    return true;
}

bool SetSelectionActionTitle(Script& script, const char* text, Variables& variables, bool check_only,
                             CString& error) {
    if (!RequireCustomerInstance(script, kSetSelectionActionTitle, error)) return false;
    Arguments args(text, variables, error);
    std::string title;
    if (!args.Open() || !args.String(title)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) { c.m_strActionTitle = title; });
    return true;
}

bool SetTextLine(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetTextLine, error)) return false;
    Arguments args(text, variables, error);
    int index = 0;
    std::string line;
    if (!args.Open() || !args.Int(index) || !args.String(line)) return false;
    if (check_only || index < 1 || index > 6) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        if (c.m_vecTextLines.size() < static_cast<size_t>(index)) c.m_vecTextLines.resize(static_cast<size_t>(index));
        c.m_vecTextLines[static_cast<size_t>(index - 1)] = line;
    });
    return true;
}

bool SetErrorMessage(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetErrorMessage, error)) return false;
    Arguments args(text, variables, error);
    std::string message;
    int seconds = 10;
    if (!args.Open() || !args.String(message)) return false;
    // Only an absent second argument means the default; a misspelt one is an error.
    if (!args.Ended() && !args.Int(seconds)) return false;
    if (check_only) return true;
    g_CustomerUI.ShowMessageDeferred(message.c_str(), seconds);
    return true;
}

bool SetImage(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetImage, error)) return false;
    Arguments args(text, variables, error);
    int index = 0;
    std::string file;
    if (!args.Open() || !args.Int(index) || !args.String(file)) return false;
    if (check_only) return true;
    return g_CustomerUI.SetImage(index, file.c_str(), error);
}

bool SetInput(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetInput, error)) return false;
    Arguments args(text, variables, error);
    int index = 0, maxLength = 0;
    std::string label, defaultText;
    if (!args.Open() || !args.Int(index) || !args.String(label) || !args.String(defaultText) || !args.Int(maxLength))
        return false;
    if (check_only) return true;
    g_CustomerUI.SetInput(index - 1, label.c_str(), defaultText.c_str(), maxLength);
    return true;
}

bool SetInputFilename(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetInputFilename, error)) return false;
    Arguments args(text, variables, error);
    int maxLength = 0;
    std::string label, defaultText;
    if (!args.Open() || !args.String(label) || !args.String(defaultText) || !args.Int(maxLength)) return false;
    if (check_only) return true;
    g_CustomerUI.SetInput(0, label.c_str(), defaultText.c_str(), maxLength);
    return true;
}

bool SetCheckboxInput(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetCheckboxInput, error)) return false;
    Arguments args(text, variables, error);
    int index = 0, checked = 0;
    std::string label;
    if (!args.Open() || !args.Int(index) || !args.String(label) || !args.Int(checked)) return false;
    if (check_only) return true;
    g_CustomerUI.SetCheckboxInput(index - 1, label.c_str(), checked);
    return true;
}

template <bool Next>
bool SetArrowText(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Next ? kSetNextButtonText : kSetBackButtonText, error)) return false;
    Arguments args(text, variables, error);
    std::string caption;
    if (!args.Open() || !args.String(caption)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) { (Next ? c.m_strNextText : c.m_strBackText) = caption; });
    return true;
}

template <bool Next>
bool SetArrowImages(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Next ? kSetNextImages : kSetBackImages, error)) return false;
    Arguments args(text, variables, error);
    std::string normal, hover;
    if (!args.Open() || !args.String(normal) || !args.String(hover)) return false;
    if (check_only) return true;
    return Next ? g_CustomerUI.SetNextImages(normal.c_str(), hover.c_str(), error)
                : g_CustomerUI.SetBackImages(normal.c_str(), hover.c_str(), error);
}

bool AddActionButtonLine(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kAddActionButtonLine, error)) return false;
    Arguments args(text, variables, error);
    std::string line;
    if (!args.Open() || !args.String(line)) return false;
    if (check_only) return true;
    bool added = false;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        if (c.m_vecActionLines.size() >= kMaxActionLines) {
            error = "No more than action lines may be added.";
            return;
        }
        if (line.empty() || line.size() > kMaxActionLineLength) {
            error = "Action button line must have at least one character and no more than 100 characters.";
            return;
        }
        c.m_vecActionLines.push_back(line);
        c.m_vecActionRects.clear();
        added = true;
    });
    return added;
}

bool DefineGroupBox(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kDefineGroupBox, error)) return false;
    Arguments args(text, variables, error);
    int v[12] = {};
    if (!args.Open()) return false;
    for (int& value : v) {
        if (!args.Int(value)) return false;
    }
    if (check_only) return true;
    static const char* const kNames[6] = {"fill_red", "fill_green", "fill_blue", "bdr_red", "bdr_green", "bdr_blue"};
    for (int i = 0; i < 6; ++i) {
        if (!InByteRange(v[4 + i])) {
            error.Format("%s must be between 0 and 255", kNames[i]);
            return false;
        }
    }
    RECT rect;
    rect.left = v[0];
    rect.right = v[1];
    rect.top = v[2];
    rect.bottom = v[3];
    return g_CustomerUI.DefineGroupBox(rect, Rgb(v[4], v[5], v[6]), Rgb(v[7], v[8], v[9]), v[10], v[11], error);
}

bool SetImagePreviewZoomInArea(Script& script, const char* text, Variables& variables, bool check_only,
                               CString& error) {
    if (!RequireCustomerInstance(script, kSetImagePreviewZoomInArea, error)) return false;
    Arguments args(text, variables, error);
    double left = 0, right = 0, top = 0, bottom = 0;
    if (!args.Open() || !args.Double(left) || !args.Double(right) || !args.Double(top) || !args.Double(bottom))
        return false;
    if (check_only) return true;
    if (!(left >= 0.0)) {
        error = "left must be greater than or equal to zero.";
        return false;
    }
    if (!(right <= 1.0)) {
        error = "right must be less than or equal to 1.";
        return false;
    }
    if (!(left < right)) {
        error = "right must be greater then left.";
        return false;
    }
    if (!(top >= 0.0)) {
        error = "top must be greater than or equal to zero.";
        return false;
    }
    if (!(bottom <= 1.0)) {
        error = "bottom must be less than or equal to 1.";
        return false;
    }
    if (!(top < bottom)) {
        error = "bottom must be greater then top.";
        return false;
    }
    auto clamp01 = [](double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); };
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        c.m_dZoomLeft = clamp01(left);
        c.m_dZoomRight = clamp01(right);
        c.m_dZoomTop = clamp01(top);
        c.m_dZoomBottom = clamp01(bottom);
    });
    return true;
}

template <int32_t Index>
bool SetLinePosition(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Index, error)) return false;
    Arguments args(text, variables, error);
    double position = 0.0;
    if (!args.Open() || !args.Double(position)) return false;
    if (check_only) return true;
    const bool actions = Index == kSetActionsTopLinePos;
    const double low = actions ? 0.05 : 0.0;
    const double high = actions ? 0.90 : 0.99;
    if (!(position >= low && position <= high)) {
        error.Format(actions ? "%s() must be between 0.05 and 0.90" : "%s() must be between 0.0 and 0.99",
                     actions ? "Script::CustomerUI_SetActionsTopLinePos" : "Script::CustomerUI_SetTopLinePos");
        return false;
    }
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        (actions ? c.m_dActionsTopLinePos : c.m_dTopLinePos) = position;
    });
    return true;
}

bool RestoreDefaultState(Script& script, const char*, Variables&, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kRestoreDefaultState, error)) return false;
    if (!check_only) g_CustomerUI.ClearInputs();
    return true;
}

// --- Appearance ------------------------------------------------------------------

template <int32_t Index>
bool SetColour(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Index, error)) return false;
    Arguments args(text, variables, error);
    int red = 0, green = 0, blue = 0;
    if (!args.Open() || !args.Int(red) || !args.Int(green) || !args.Int(blue)) return false;
    if (check_only) return true;
    if (!InByteRange(red)) {
        error = "red must be between 0 and 255.";
        return false;
    }
    if (!InByteRange(green)) {
        error = "green must be between 0 and 255";
        return false;
    }
    if (!InByteRange(blue)) {
        error = "blue must be between 0 and 255";
        return false;
    }
    const COLORREF colour = Rgb(red, green, blue);
    if (Index == kSetBackgroundColor) {
        g_CustomerUIBackgroundColor = colour;
    } else {
        g_CustomerUI.EditContent([&](CustomerUIContent& c) {
            (Index == kSetDefaultTextColor ? c.m_crText : c.m_crHighlight) = colour;
        });
    }
    g_CustomerUI.Invalidate(nullptr, true);
    return true;
}

template <int32_t Index>
bool DefineActionButtonColours(Script& script, const char* text, Variables& variables, bool check_only,
                               CString& error) {
    if (!RequireCustomerInstance(script, Index, error)) return false;
    Arguments args(text, variables, error);
    int v[6] = {};
    if (!args.Open()) return false;
    for (int& value : v) {
        if (!args.Int(value)) return false;
        // These are checked as they are read, in the check pass too.
        if (!InByteRange(value)) {
            error.Format("Parameter %ld must be between 0 and 255", static_cast<long>(args.Number()));
            return false;
        }
    }
    if (check_only) return true;
    const COLORREF normal = Rgb(v[0], v[1], v[2]);
    const COLORREF highlighted = Rgb(v[3], v[4], v[5]);
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        if (Index == kDefineActionButtonBackgroundColors) {
            c.m_crActionBack = normal;
            c.m_crActionBackHighlight = highlighted;
        } else {
            c.m_crActionText = normal;
            c.m_crActionTextHighlight = highlighted;
        }
    });
    return true;
}

bool DefineActionButtonFont(Script& script, const char* text, Variables& variables, bool check_only,
                            CString& error) {
    if (!RequireCustomerInstance(script, kDefineActionButtonFont, error)) return false;
    Arguments args(text, variables, error);
    std::string face;
    int height = 0;
    if (!args.Open() || !args.String(face) || !args.Int(height)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) { c.m_strActionFontName = face; });
    if (height == 0) height = 40;
    if (height < 8 || height > 100) {
        error = "font_ht must be between 8 and 100";
        return false;
    }
    // Any face name gives a font here: the window falls back to a font of the
    // same kind when the face is not installed.
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        c.m_nActionFontHeight = height;
        c.m_vecActionRects.clear();
    });
    return true;
}

bool DefineActionButtonWidth(Script& script, const char* text, Variables& variables, bool check_only,
                             CString& error) {
    if (!RequireCustomerInstance(script, kDefineActionButtonWidth, error)) return false;
    Arguments args(text, variables, error);
    int width = 0;
    if (!args.Open() || !args.Int(width)) return false;
    if (check_only) return true;
    const int32_t clientWidth = theApp.m_nCustomerUIWidth;
    if (width < 20 || width > clientWidth) {
        error.Format("Button width must be between 20 and %ld", static_cast<long>(clientWidth));
        return false;
    }
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        c.m_nActionButtonWidth = width;
        c.m_vecActionRects.clear();
    });
    return true;
}

bool DefineActionButtonCornerRadius(Script& script, const char* text, Variables& variables, bool check_only,
                                    CString& error) {
    if (!RequireCustomerInstance(script, kDefineActionButtonCornerRadius, error)) return false;
    Arguments args(text, variables, error);
    int radius = 0;
    if (!args.Open() || !args.Int(radius)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) { c.m_nActionCornerRadius = radius; });
    return true;
}

bool DefineActionButtonVerticalSpacing(Script& script, const char* text, Variables& variables, bool check_only,
                                       CString& error) {
    if (!RequireCustomerInstance(script, kDefineActionButtonVerticalSpacing, error)) return false;
    Arguments args(text, variables, error);
    int spacing = 0;
    if (!args.Open() || !args.Int(spacing)) return false;
    if (check_only) return true;
    if (static_cast<uint32_t>(spacing) > 100u) {
        error = "Verical spacing must be between 0 and 100";
        return false;
    }
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        c.m_nActionVerticalSpacing = spacing;
        c.m_vecActionRects.clear();
    });
    return true;
}

// --- Next and Back ----------------------------------------------------------------

template <bool Next>
bool ShowArrow(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Next ? kShowNext : kShowBack, error)) return false;
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (check_only) return true;
    g_CustomerUI.KillTimer(Next ? kTimerShowNext : kTimerShowBack);
    bool wasHidden = false;
    RECT rect;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        bool& hidden = Next ? c.m_bNextHidden : c.m_bBackHidden;
        wasHidden = hidden;
        hidden = false;
        rect = Next ? c.m_rcNext[static_cast<size_t>(c.m_nNextLook)] : c.m_rcBack[static_cast<size_t>(c.m_nBackLook)];
    });
    if (wasHidden) g_CustomerUI.Invalidate(&rect, true);
    return true;
}

template <bool Next>
bool HideArrow(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Next ? kHideNext : kHideBack, error)) return false;
    Arguments args(text, variables, error);
    int seconds = 0;
    if (!args.Open() || !args.Int(seconds)) return false;
    if (check_only) return true;
    if (seconds > kLongestHide) {
        error = "Maximum timeout is 3600 sec.";
        return false;
    }
    if (seconds < 0) {
        error = "Minimum timeout is 0 sec.";
        return false;
    }
    const int timer = Next ? kTimerShowNext : kTimerShowBack;
    g_CustomerUI.KillTimer(timer);
    // The longest hide lasts until the matching show command.
    if (seconds != kLongestHide) g_CustomerUI.SetTimer(timer, static_cast<uint32_t>(seconds) * 1000u);
    bool wasShown = false;
    RECT rect;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        bool& hidden = Next ? c.m_bNextHidden : c.m_bBackHidden;
        wasShown = !hidden;
        hidden = true;
        rect = Next ? c.m_rcNext[static_cast<size_t>(c.m_nNextLook)] : c.m_rcBack[static_cast<size_t>(c.m_nBackLook)];
    });
    if (wasShown) g_CustomerUI.Invalidate(&rect, true);
    return true;
}

// --- Timer and pump watch ------------------------------------------------------------

bool SetTimer(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetTimer, error)) return false;
    Arguments args(text, variables, error);
    double seconds = 0.0;
    int countDown = 0;
    if (!args.Open() || !args.Double(seconds) || !args.Int(countDown)) return false;
    if (check_only) return true;
    g_CustomerUI.KillTimer(kTimerScript);
    if (!(seconds >= 0.0 && seconds <= 86400.0)) {
        error.Format("Invalid number of seconds: %4.2lf : must be between 0 and 86400 (one day).", seconds);
        return false;
    }
    g_CustomerUI.StartScriptTimer(static_cast<uint32_t>(std::llround(seconds * 1000.0)), countDown != 0);
    return true;
}

bool StopTimer(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kStopTimer, error)) return false;
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (!check_only) g_CustomerUI.StopScriptTimer();
    return true;
}

bool ContinueTimer(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kContinueTimer, error)) return false;
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (!check_only) g_CustomerUI.ContinueScriptTimer();
    return true;
}

bool GetTimerInfo(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetTimerInfo, error)) return false;
    Arguments args(text, variables, error);
    int ignored = 0;
    Variable* remaining = nullptr;
    Variable* elapsed = nullptr;
    if (!args.Open() || !args.Int(ignored, &remaining) || !args.Int(ignored, &elapsed)) return false;
    if (check_only) return true;
    int32_t remainingSec = 0, elapsedSec = 0;
    g_CustomerUI.GetTimerInfo(&remainingSec, &elapsedSec);
    StoreInt(remaining, remainingSec);
    StoreInt(elapsed, elapsedSec);
    return true;
}

bool TriggerEventWhenPumpStopsMoving(Script& script, const char* text, Variables& variables, bool check_only,
                                     CString& error) {
    if (!RequireCustomerInstance(script, kTriggerEventWhenPumpStopsMoving, error)) return false;
    Arguments args(text, variables, error);
    int pump = 0, timeout = 0;
    if (!args.Open() || !args.Int(pump) || !args.Int(timeout)) return false;
    if (check_only) return true;
    return g_CustomerUI.TriggerEventWhenPumpStopsMoving(pump, timeout, error);
}

// --- Flow split --------------------------------------------------------------------------

bool DefineFlowSplitRange(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kDefineFlowSplitRange, error)) return false;
    Arguments args(text, variables, error);
    int low = 0, high = 0;
    if (!args.Open() || !args.Int(low) || !args.Int(high)) return false;
    if (check_only) return true;
    if (low < -kFlowSplitLimit || high < -kFlowSplitLimit) {
        error = "split limit must be greater than or equal to -45";
        return false;
    }
    if (low > kFlowSplitLimit || high > kFlowSplitLimit) {
        error = "split limit must be less than or equal to 45";
        return false;
    }
    if (high < low) {
        error = "min split must be less than or equal to max split";
        return false;
    }
    SetFlowSplitRange(low, high);
    return true;
}

bool SetFlowSplit(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kSetFlowSplit, error)) return false;
    Arguments args(text, variables, error);
    int split = 0;
    if (!args.Open() || !args.Int(split)) return false;
    if (check_only) return true;
    const FlowSplitValues values = GetFlowSplit();
    if (split < values.FlowSplitMin) {
        error.Format("isplit must be greater than or equal to %ld", static_cast<long>(values.FlowSplitMin));
        return false;
    }
    if (split > values.FlowSplitMax) {
        error.Format("isplit must be less than or equal to %ld", static_cast<long>(values.FlowSplitMax));
        return false;
    }
    return g_CustomerUI.SetFlowSplit(split);
}

bool GetFlowSplitCommand(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetFlowSplit, error)) return false;
    Arguments args(text, variables, error);
    int ignored = 0;
    Variable* result = nullptr;
    if (!args.Open() || !args.Int(ignored, &result)) return false;
    if (check_only) return true;
    StoreInt(result, FlowSplitValueFromFraction(GetFlowSplit().FlowSplitFraction));
    return true;
}

template <int32_t Index>
bool SplitLineFlag(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, Index, error)) return false;
    Arguments args(text, variables, error);
    int on = 0;
    if (!args.Open() || !args.Int(on)) return false;
    if (check_only) return true;
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        (Index == kShowSplitFlowLine ? c.m_bShowSplitLine : c.m_bSplitLineAdjustable) = on != 0;
    });
    if (on == 0) g_CustomerUI.Invalidate(nullptr, true);
    return true;
}

// --- Read-back and status ---------------------------------------------------------------

bool GetTextEditFieldContents(Script& script, const char* text, Variables& variables, bool check_only,
                              CString& error) {
    if (!RequireCustomerInstance(script, kGetTextEditFieldContents, error)) return false;
    Arguments args(text, variables, error);
    int index = 0;
    std::string ignored;
    Variable* result = nullptr;
    if (!args.Open() || !args.Int(index) || !args.String(ignored, &result)) return false;
    if (check_only) return true;
    if (index < 1 || index > static_cast<int>(kInputEdits.size())) {
        error.Format("Invalid edit field index %ld", static_cast<long>(index));
        return false;
    }
    StoreString(result, g_CustomerUI.GetControlText(kInputEdits[static_cast<size_t>(index - 1)]));
    return true;
}

bool GetCheckBoxState(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetCheckBoxState, error)) return false;
    Arguments args(text, variables, error);
    int index = 0, ignored = 0;
    Variable* result = nullptr;
    if (!args.Open() || !args.Int(index) || !args.Int(ignored, &result)) return false;
    if (check_only) return true;
    if (index < 1 || index > kCheckBoxCount) {
        error.Format("Invalid checkbox index %ld", static_cast<long>(index));
        return false;
    }
    StoreInt(result, g_CustomerUI.GetControl(IDC_CHECK1 + index - 1).checked ? 1 : 0);
    return true;
}

bool GetAdminModeStatus(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetAdminModeStatus, error)) return false;
    Arguments args(text, variables, error);
    int ignored = 0;
    Variable* result = nullptr;
    if (!args.Open() || !args.Int(ignored, &result)) return false;
    if (!check_only) StoreInt(result, theApp.m_bAdminMode ? 1 : 0);
    return true;
}

bool GetGUISize(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetGUISize, error)) return false;
    Arguments args(text, variables, error);
    int ignored = 0;
    Variable* width = nullptr;
    Variable* height = nullptr;
    if (!args.Open() || !args.Int(ignored, &width) || !args.Int(ignored, &height)) return false;
    if (check_only) return true;
    StoreInt(width, theApp.m_nCustomerUIWidth);
    StoreInt(height, theApp.m_nCustomerUIHeight);
    return true;
}

// --- Workflow helpers -----------------------------------------------------------------------

bool SetupResumeExperiment(Script& script, const char* text, Variables& variables, bool check_only,
                           CString& error) {
    if (!RequireCustomerInstance(script, kSetupResumeExperiment, error)) return false;
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (check_only) return true;
    error.Empty();
    ResumeExperiment(error);
    return true;
}

bool ClearWorkflowLiveImageIntervals(const char* text, Variables& variables, bool check_only, CString& error) {
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (check_only) return true;
    std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
    g_LiveIntervalByImageType.clear();
    g_LiveIntervalChanged = true;
    return true;
}

// Either instance may stop live capture; the run screen notes when it was asked.
bool StopLiveImageCapture(const char* text, Variables& variables, bool check_only, CString& error) {
    Arguments args(text, variables, error);
    if (!args.Empty()) return false;
    if (check_only) return true;
    if (g_CustomerUI.WindowExists() && g_CustomerUI.IsVisible()) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        g_CustomerUI.m_ftLiveStopRequest = platform::SystemTimeToFileTime100ns(now);
    }
    platform::PostCommand(kCloseLivePreviewCommand);
    return true;
}

}  // namespace

void InstallCustomerUICommands() {
    SetBuiltInMemberHandler(kLogin, &WaitingScreen<kLogin>);
    SetBuiltInMemberHandler(kSelectAction, &WaitingScreen<kSelectAction>);
    SetBuiltInMemberHandler(kPromptInsertFlowcell, &WaitingScreen<kPromptInsertFlowcell>);
    SetBuiltInMemberHandler(kPipetteSample, &WaitingScreen<kPipetteSample>);
    SetBuiltInMemberHandler(kSampleBeingCollected, &WaitingScreen<kSampleBeingCollected>);
    SetBuiltInMemberHandler(kShowVideo, &WaitingScreen<kShowVideo>);
    SetBuiltInMemberHandler(kPromptForInput, &WaitingScreen<kPromptForInput>);
    SetBuiltInMemberHandler(kPromptInfo, &WaitingScreen<kPromptInfo>);
    SetBuiltInMemberHandler(kPromptForInputChecks, &WaitingScreen<kPromptForInputChecks>);
    SetBuiltInMemberHandler(kPromptForInputFilename, &WaitingScreen<kPromptForInputFilename>);

    SetBuiltInMemberHandler(kSetTitle, &SetTitle);
    SetBuiltInMemberHandler(kSetSelectionActionTitle, &SetSelectionActionTitle);
    SetBuiltInMemberHandler(kSetTextLine, &SetTextLine);
    SetBuiltInMemberHandler(kSetErrorMessage, &SetErrorMessage);
    SetBuiltInMemberHandler(kSetImage, &SetImage);
    SetBuiltInMemberHandler(kSetInput, &SetInput);
    SetBuiltInMemberHandler(kSetInputFilename, &SetInputFilename);
    SetBuiltInMemberHandler(kSetCheckboxInput, &SetCheckboxInput);
    SetBuiltInMemberHandler(kSetNextButtonText, &SetArrowText<true>);
    SetBuiltInMemberHandler(kSetBackButtonText, &SetArrowText<false>);
    SetBuiltInMemberHandler(kSetNextImages, &SetArrowImages<true>);
    SetBuiltInMemberHandler(kSetBackImages, &SetArrowImages<false>);
    SetBuiltInMemberHandler(kAddActionButtonLine, &AddActionButtonLine);
    SetBuiltInMemberHandler(kDefineGroupBox, &DefineGroupBox);
    SetBuiltInMemberHandler(kSetImagePreviewZoomInArea, &SetImagePreviewZoomInArea);
    SetBuiltInMemberHandler(kSetTopLinePos, &SetLinePosition<kSetTopLinePos>);
    SetBuiltInMemberHandler(kSetActionsTopLinePos, &SetLinePosition<kSetActionsTopLinePos>);
    SetBuiltInMemberHandler(kRestoreDefaultState, &RestoreDefaultState);

    SetBuiltInMemberHandler(kSetBackgroundColor, &SetColour<kSetBackgroundColor>);
    SetBuiltInMemberHandler(kSetDefaultTextColor, &SetColour<kSetDefaultTextColor>);
    SetBuiltInMemberHandler(kSetHilightTextColor, &SetColour<kSetHilightTextColor>);
    SetBuiltInMemberHandler(kDefineActionButtonBackgroundColors,
                            &DefineActionButtonColours<kDefineActionButtonBackgroundColors>);
    SetBuiltInMemberHandler(kDefineActionButtonTextColors, &DefineActionButtonColours<kDefineActionButtonTextColors>);
    SetBuiltInMemberHandler(kDefineActionButtonFont, &DefineActionButtonFont);
    SetBuiltInMemberHandler(kDefineActionButtonWidth, &DefineActionButtonWidth);
    SetBuiltInMemberHandler(kDefineActionButtonCornerRadius, &DefineActionButtonCornerRadius);
    SetBuiltInMemberHandler(kDefineActionButtonVerticalSpacing, &DefineActionButtonVerticalSpacing);

    SetBuiltInMemberHandler(kShowNext, &ShowArrow<true>);
    SetBuiltInMemberHandler(kShowBack, &ShowArrow<false>);
    SetBuiltInMemberHandler(kHideNext, &HideArrow<true>);
    SetBuiltInMemberHandler(kHideBack, &HideArrow<false>);

    SetBuiltInMemberHandler(kSetTimer, &SetTimer);
    SetBuiltInMemberHandler(kStopTimer, &StopTimer);
    SetBuiltInMemberHandler(kContinueTimer, &ContinueTimer);
    SetBuiltInMemberHandler(kGetTimerInfo, &GetTimerInfo);
    SetBuiltInMemberHandler(kTriggerEventWhenPumpStopsMoving, &TriggerEventWhenPumpStopsMoving);

    SetBuiltInMemberHandler(kDefineFlowSplitRange, &DefineFlowSplitRange);
    SetBuiltInMemberHandler(kSetFlowSplit, &SetFlowSplit);
    SetBuiltInMemberHandler(kGetFlowSplit, &GetFlowSplitCommand);
    SetBuiltInMemberHandler(kShowSplitFlowLine, &SplitLineFlag<kShowSplitFlowLine>);
    SetBuiltInMemberHandler(kAllowAdjustSplitFlowLine, &SplitLineFlag<kAllowAdjustSplitFlowLine>);

    SetBuiltInMemberHandler(kGetTextEditFieldContents, &GetTextEditFieldContents);
    SetBuiltInMemberHandler(kGetCheckBoxState, &GetCheckBoxState);
    SetBuiltInMemberHandler(kGetAdminModeStatus, &GetAdminModeStatus);
    SetBuiltInMemberHandler(kGetGUISize, &GetGUISize);

    SetBuiltInMemberHandler(kSetupResumeExperiment, &SetupResumeExperiment);
    SetBuiltInFunctionHandler(kClearWorkflowLiveImageIntervals, &ClearWorkflowLiveImageIntervals);
    SetBuiltInFunctionHandler(kStopLiveImageCapture, &StopLiveImageCapture);
    InstallCustomerUIExperimentCommands();
}
