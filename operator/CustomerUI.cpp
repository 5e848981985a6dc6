#include "operator/CustomerUI.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "app/ExposureLimits.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraSettings.h"
#include "devices/TecanCentris.h"
#include "imaging/RenderOverlays.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "script/ScriptRun.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

CustomerUI g_CustomerUI;
std::atomic<COLORREF> g_CustomerUIBackgroundColor{customer_ui::kDefaultBackground};

namespace customer_ui {

namespace {

constexpr const char* kSettingsSection = "ExperimentSettings";

const char* const kStateNames[] = {
    "Login",
    "SelectAction",
    "PromptInsertFlowcell",
    "PipetteSample",
    "SampleBeingCollected",
    "RunComplete",
    "RunSummary",
    "ShowVideo",
    "PromptForInput",
    "PromptInfo",
    "PromptForInputChecks",
    "PromptForFilename",
    "PromptForImageChecks",
    "PromptForFusedImageVerification",
    "PromptForMontageReport",
};

const char* const kExposureChoices[] = {"OFF",  " 100", " 200", " 300", " 400", " 500", " 750",
                                        "1000", "1500", "2000", "3000", "5000", "7500", "10000"};

// Image type 1..3 of an exposure combo, 0 for another control.
int ComboImageType(int combo) { return combo >= IDC_COMBO1 && combo <= IDC_COMBO3 ? combo - IDC_COMBO1 + 1 : 0; }

std::string TypeKey(const char* key, int type) { return std::string(key) + std::to_string(type); }

std::string ReadSetting(const std::string& key, size_t size) {
    std::vector<char> buffer(size + 1, '\0');
    Tovanix::E_GetPrivateProfileString(kSettingsSection, key.c_str(), "", buffer.data(), static_cast<int>(size),
                                       g_IniPath);
    return buffer.data();
}

void WriteSetting(const std::string& key, const std::string& value) {
    if (!Tovanix::E_WritePrivateProfileString(kSettingsSection, key.c_str(), value.c_str(), g_IniPath)) {
        LogErrAndInfo("CustomerUI", __LINE__,
                      ("CustomerUI: failed writing [" + std::string(kSettingsSection) + "] " + key).c_str());
    }
}

bool IsActiveSetting(int type) { return strcasecmp(ReadSetting(TypeKey("IsActive", type), 9).c_str(), "TRUE") == 0; }

// A whole integer (blanks around it allowed), as the settings and combos hold it.
bool ParseInteger(const std::string& text, long* value) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (!*begin) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    *value = parsed;
    return true;
}

int32_t ReadExposure(int type, int32_t fallback) {
    long value = 0;
    return ParseInteger(ReadSetting(TypeKey("ImageTypeExposure", type), 31), &value) ? static_cast<int32_t>(value)
                                                                                       : fallback;
}

// The customer-screen folder joined with a name (the name alone when the
// folder text is empty); the folder text is trimmed first.
std::string JoinCustomerFolder(const std::string& name) {
    CString folder = theApp.m_strCustomerUIDir.c_str();
    const int lineEnd = std::min(folder.Find('\r') < 0 ? folder.GetLength() : folder.Find('\r'),
                                 folder.Find('\n') < 0 ? folder.GetLength() : folder.Find('\n'));
    folder = folder.Left(lineEnd);
    folder.Trim();
    if (folder.IsEmpty()) return name;
    return platform::JoinPath(folder.str(), name);
}

bool HasFolder(const std::string& name) { return name.find('\\') != std::string::npos || name.find('/') != std::string::npos; }

// Calendar time in whole seconds.
int64_t CalendarSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(platform::GetClock().WallNow().time_since_epoch()).count();
}

}  // namespace

std::vector<int> AllControlIds() {
    std::vector<int> ids(kInputEdits.begin(), kInputEdits.end());
    for (int id : {int(IDC_PASSWORD), int(IDC_COMBO1), int(IDC_COMBO2), int(IDC_COMBO3), int(IDC_RADIO1),
                   int(IDC_RADIO2), int(IDC_RADIO3)}) {
        ids.push_back(id);
    }
    for (int k = 0; k < kCheckBoxCount; ++k) ids.push_back(IDC_CHECK1 + k);
    return ids;
}

const char* StateName(int32_t state) {
    if (state == kUndefinedState) return "UndefinedState";
    if (state >= 0 && state < kNumberOfStates) return kStateNames[state];
    if (state == kNumberOfStates) return "NumberOfStates";
    return "InvalidStat0e";
}

CustomerUI::CustomerUI() {
    for (int id : AllControlIds()) m_controls[id] = ControlState{};
}

CustomerUI::~CustomerUI() = default;

// ---------------------------------------------------------------------------
// The window

void CustomerUI::AttachWindow(CustomerUIWindow* window, const TextMetrics* metrics) {
    std::lock_guard<std::mutex> lock(m_csWindow);
    m_window = window;
    m_metrics = metrics;
    if (!window) m_bVisible = false;
}

bool CustomerUI::WindowExists() const {
    std::lock_guard<std::mutex> lock(m_csWindow);
    return m_window != nullptr;
}

bool CustomerUI::IsVisible() const { return m_bVisible.load(); }

void CustomerUI::ShowWindow(bool show) {
    const bool wasVisible = m_bVisible.exchange(show);
    // Showing the window arms the script-end watch.
    if (show && (!wasVisible || !m_timers.IsArmed(kTimerScriptEndWatch))) SetTimer(kTimerScriptEndWatch, 1000);
    std::lock_guard<std::mutex> lock(m_csWindow);
    if (m_window) m_window->ShowWindow(show);
}

void CustomerUI::Invalidate(const RECT* rect, bool erase) {
    std::lock_guard<std::mutex> lock(m_csWindow);
    if (m_window) m_window->Invalidate(rect, erase);
}

void CustomerUI::ControlsChanged() {
    std::lock_guard<std::mutex> lock(m_csWindow);
    if (m_window) m_window->ControlsChanged();
}

void CustomerUI::SetToolbarAccess(const ToolbarAccess& toolbar) {
    std::lock_guard<std::mutex> lock(m_csWindow);
    m_toolbar = toolbar;
}

RECT CustomerUI::ClientRect() const { return {0, 0, theApp.m_nCustomerUIWidth, theApp.m_nCustomerUIHeight}; }

WindowPlacement CustomerUI::OnInitDialog(int32_t desktopWidth, int32_t desktopHeight, int32_t comboHeight) {
    const WindowPlacement placement = ChooseWindowPlacement(desktopWidth, desktopHeight);
    theApp.m_nCustomerUIWidth = placement.width;
    theApp.m_nCustomerUIHeight = placement.height;
    m_nState = kStateLogin;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        const ScreenLayout layout = ComputeScreenLayout(placement.width, placement.height, m_content.m_nExposurePanelLayout);
        m_content.m_rcVideo = layout.video;
        m_content.m_rcSplitPercent = layout.splitPercent;
        m_rcTimer = layout.timer;
        m_content.m_nComboHeight = comboHeight;
    }
    for (int combo : {IDC_COMBO1, IDC_COMBO2, IDC_COMBO3}) FillExposureCombo(combo);
    return placement;
}

// ---------------------------------------------------------------------------
// States and the hand-back

bool CustomerUI::SetState(int32_t state, CString& error) {
    if (state < 0 || state >= kNumberOfStates) {
        error.Format("%s() - Invalid state: %ld", "CustomerUI::SetState", static_cast<long>(state));
        return false;
    }
    ShowWindow(true);
    const bool leavingVideo = m_nState.load() == kStateShowVideo && state != kStateShowVideo;
    m_nState = state;
    SetTimer(kTimerRepaint, 100);
    if (leavingVideo) SetTimer(kTimerLiveOff, 1000);
    if (state == kStatePromptForFilename) {
        std::lock_guard<std::mutex> lock(m_csContent);
        const size_t n = m_content.m_vecInputLabels.size();
        m_content.m_vecBrowseRects.assign(n, RECT{});
        m_content.m_vecBrowseHover.assign(n, false);
    }
    return true;
}

void CustomerUI::WaitForEvent(CString* eventName) {
    m_hEvent.Wait(platform::kInfinite);
    if (eventName) *eventName = GetEventName();
}

bool CustomerUI::WaitForEvent(CString* eventName, uint32_t timeoutMs) {
    if (!m_hEvent.Wait(timeoutMs)) return false;
    if (eventName) *eventName = GetEventName();
    return true;
}

CString CustomerUI::GetEventName() const {
    std::lock_guard<std::mutex> lock(m_csEvent);
    return m_strEvent;
}

void CustomerUI::HandBack(const char* name, bool reset) {
    if (reset) m_hEvent.Reset();
    {
        std::lock_guard<std::mutex> lock(m_csEvent);
        m_strEvent = name ? name : "";
    }
    m_hEvent.Set();
}

void CustomerUI::KillWaitTimers() {
    for (int id : {kTimerPumpWatch, kTimerScript, kTimerShowNext, kTimerShowBack}) KillTimer(id);
}

void CustomerUI::EndWait(const char* name) {
    KillWaitTimers();
    m_hEvent.Reset();
    {
        std::lock_guard<std::mutex> lock(m_csMessage);
        m_message.m_strMessage.clear();
    }
    EditContent([](CustomerUIContent& c) { c.m_bFullRepaint = true; });
    HandBack(name, false);
}

void CustomerUI::OnScriptEnded() {
    KillWaitTimers();
    m_hEvent.Reset();
    m_nState = kUndefinedState;
    m_nPaintedState = kUndefinedState;
    platform::PostCommand(32861);
}

bool CustomerUI::StartScript(const char* path, CString& error, bool* started) {
    if (started) *started = false;
    ResetForNewScript();
    if (!path || !platform::FileExists(path)) {
        // Nothing runs: callers still get true, but the missing file is logged.
        LogErrAndInfo("CustomerUI", __LINE__,
                      ("CustomerUI::StartScript() - script file does not exist: " + std::string(path ? path : "")).c_str());
        return true;
    }
    if (!Script::ScriptHasCode(path)) {
        LogErrAndInfo("CustomerUI", __LINE__,
                      ("CustomerUI::StartScript() - script has no code: " + std::string(path)).c_str());
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        for (int id : {IDC_INPUT1, IDC_INPUT2, IDC_INPUT3, IDC_INPUT4, IDC_INPUT5, IDC_PASSWORD, IDC_COMBO1,
                       IDC_COMBO2, IDC_COMBO3}) {
            m_controls[id].text.clear();
        }
    }
    ControlsChanged();
    if (!Script::RunScript(1, path, error)) {
        LogErrAndInfo("CustomerUI", __LINE__, error);
        return false;
    }
    if (started) *started = true;
    return true;
}

void CustomerUI::ResetForNewScript() {
    KillWaitTimers();
    m_hEvent.Reset();
    m_nState = kUndefinedState;
    {
        std::lock_guard<std::mutex> lock(m_csEvent);
        m_strEvent.clear();
    }
    {
        std::lock_guard<std::mutex> lock(m_csPump);
        m_bPumpSeenMoving = 0;
        m_nWatchedPump = 0;
        m_tPumpWatchStart = 0;
        m_nPumpWatchTimeoutSec = 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_csSplit);
        m_nSplitDragStartY = 0;
        m_strSplitPercent.clear();
    }
    {
        std::lock_guard<std::mutex> lock(m_csMessage);
        m_message.m_nMessageTicksLeft = 0;
        m_message.m_nMessageTicks = 20;
        m_message.m_strMessage.clear();
        m_message.m_strDeferredMessage.clear();
        m_message.m_nDeferredMessageSec = 0;
    }
    ClearInputs();
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        m_timer.m_nTimerStartMs = 0;
        m_timer.m_nTimerDurationMs = 0;
        m_timer.m_bTimerCountDown = true;
    }
    m_nLiveImageType = -1;
    ResetSplitLine();
}

bool CustomerUI::ClearInputs() {
    std::lock_guard<std::mutex> lock(m_csContent);
    CustomerUIContent& c = m_content;
    c.m_strTitle.clear();
    c.m_vecTextLines.clear();
    c.m_vecInputLabels.clear();
    c.m_vecInputMaxLengths.clear();
    c.m_strNextText.clear();
    c.m_strBackText.clear();
    c.m_vecImages.clear();
    c.m_vecGroupBoxRects.clear();
    c.m_vecGroupBoxFill.clear();
    c.m_vecGroupBoxBorder.clear();
    c.m_vecGroupBoxThickness.clear();
    c.m_vecGroupBoxRadius.clear();
    c.m_vecActionLines.clear();
    c.m_vecActionRects.clear();
    c.m_strActionFontName.clear();
    c.m_strNextImage.clear();
    c.m_strNextHoverImage.clear();
    c.m_strBackImage.clear();
    c.m_strBackHoverImage.clear();
    c.m_bShowSplitLine = true;
    c.m_bSplitLineAdjustable = true;
    c.m_nActionFontHeight = 0;
    c.m_crActionText = c.m_crActionTextHighlight = c.m_crActionBack = c.m_crActionBackHighlight = -1;
    c.m_nActionCornerRadius = c.m_nActionVerticalSpacing = c.m_nActionButtonWidth = 0;
    c.m_bNextHidden = false;
    c.m_bBackHidden = false;
    c.m_dTopLinePos = 0.01;
    c.m_dActionsTopLinePos = 0.0;
    return true;
}

void CustomerUI::LogAction(const char* action, int32_t state, const char* info) const {
    LogCustomerUIAction(action, StateName(state), info ? info : "");
}

bool CustomerUI::OnKey(int key) {
    if (key == 13) return true;
    if (key != 27) return false;
    const int answer = platform::ShowMessageBox("Are you sure that you want to close this window?", "Vellora",
                                                platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer != platform::IDYES) return true;
    Script::StopScript(1);
    // The key goes on as Cancel: the modeless window is hidden.
    ShowWindow(false);
    return false;
}

// ---------------------------------------------------------------------------
// Input

void CustomerUI::OnLButtonDown(Point point) {
    if (OnBrowseClicked(point)) return;
    const int32_t state = m_nState.load();
    if (state == kStateShowVideo) {
        for (int combo : {IDC_COMBO1, IDC_COMBO2, IDC_COMBO3}) {
            const ControlState control = GetControl(combo);
            if (!PointInRect(control.rect, point)) continue;
            ApplyExposure(combo, nullptr);
            ShowControl(combo, true);
            return;
        }
    }
    CustomerUIContent c;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        c = m_content;
    }
    if (IsNextButtonState(state) && !c.m_bNextHidden && PointInRect(c.m_rcNext[c.m_nNextLook], point)) {
        OnNextClicked();
        return;
    }
    if (IsBackButtonState(state) && !c.m_bBackHidden && PointInRect(c.m_rcBack[c.m_nBackLook], point)) {
        LogAction("BackClicked", state, nullptr);
        EndWait("Back");
        return;
    }
    if (state == kStateSelectAction) {
        std::string name;
        if (!c.m_vecActionRects.empty()) {
            for (size_t i = 0; i < c.m_vecActionRects.size() && i < c.m_vecActionLines.size(); ++i) {
                if (PointInRect(c.m_vecActionRects[i], point)) {
                    name = c.m_vecActionLines[i];
                    break;
                }
            }
        } else if (PointInRect(c.m_rcDefaultActions[0], point)) {
            name = "Live Cell Enrichment";
        }
        if (!name.empty()) {
            LogAction("ActionSelected", state, name.c_str());
            HandBack(name.c_str(), false);
            return;
        }
    }
    if (state == kStateShowVideo && c.m_bShowSplitLine && c.m_bSplitLineAdjustable && SplitHitTest(point)) {
        LogAction("ChannelDividerMoveInitiated", state, nullptr);
        {
            std::lock_guard<std::mutex> lock(m_csSplit);
            m_nSplitDragStartY = point.y;
        }
        Invalidate(&c.m_rcSplitPercent, true);
    }
    if (state == kStateShowVideo) {
        const int index = ActiveIntensityControl();
        if (m_IntensityControls[index].OnButtonDown({point.x, point.y})) {
            LogAction(("ClickOnIntensityControl" + std::to_string(index)).c_str(), state, nullptr);
        }
    }
}

void CustomerUI::OnLButtonUp(Point point) {
    const int32_t state = m_nState.load();
    bool dragging = false;
    {
        std::lock_guard<std::mutex> lock(m_csSplit);
        dragging = m_nSplitDragStartY != 0;
    }
    if (dragging) {
        MoveSplitLine(point.y, true);
        RECT split;
        {
            std::lock_guard<std::mutex> lock(m_csContent);
            split = m_content.m_rcSplitPercent;
        }
        Invalidate(&split, true);
        {
            std::lock_guard<std::mutex> lock(m_csEvent);
            m_strEvent = "SplitChanged";
        }
        LogAction("FinishSplitMove", state, nullptr);
        m_hEvent.Set();
    }
    if (state == kStateShowVideo) {
        const int index = ActiveIntensityControl();
        Tovanix::IntensityControl& control = m_IntensityControls[index];
        if (control.m_dragging_lower || control.m_dragging_upper) {
            const int changed = control.OnMouseMove({point.x, point.y});
            control.m_dragging_lower = control.m_dragging_upper = false;
            if (changed) {
                LogAction(("FinishContrastAdjust" + std::to_string(index)).c_str(), state, nullptr);
                const RECT area = HistogramRepaintArea(control.m_rect);
                Invalidate(&area, true);
            }
        }
    }
}

void CustomerUI::OnMouseMove(Point point, bool leftButtonDown) {
    const int32_t state = m_nState.load();
    std::vector<RECT> dirty;
    std::vector<RECT> dirtyNoErase;
    bool sizingCursor = false;
    bool moveSplit = false;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        CustomerUIContent& c = m_content;
        auto hover = [&](bool applies, std::array<RECT, 3>& rects, int32_t& look, std::vector<bool>& flags) {
            if (!applies || state < 0 || state >= kNumberOfStates) return;
            const bool over = PointInRect(rects[look], point);
            if (over == flags[state]) return;
            flags[state] = over;
            if (look == 0) {
                dirty.push_back(rects[0]);
            } else {
                if (over) look = look == 1 ? 2 : 1;
                dirty.push_back(rects[1]);
                dirty.push_back(rects[2]);
            }
        };
        hover(IsNextButtonState(state), c.m_rcNext, c.m_nNextLook, c.m_vecNextHover);
        hover(IsBackButtonState(state), c.m_rcBack, c.m_nBackLook, c.m_vecBackHover);

        if (c.m_bShowSplitLine && c.m_bSplitLineAdjustable && state == kStateShowVideo) {
            std::lock_guard<std::mutex> split(m_csSplit);
            if (!leftButtonDown) {
                sizingCursor = SplitHitTest(point);
            } else if (m_nSplitDragStartY != 0) {
                sizingCursor = true;
                moveSplit = true;
            }
        }

        if (state == kStateSelectAction) {
            int32_t hovered = 0;
            if (!c.m_vecActionLines.empty()) {
                for (size_t i = 0; i < c.m_vecActionRects.size(); ++i) {
                    if (PointInRect(c.m_vecActionRects[i], point)) {
                        hovered = static_cast<int32_t>(i) + 1;
                        break;
                    }
                }
                if (hovered != c.m_nHoverAction) {
                    for (int32_t index : {c.m_nHoverAction, hovered}) {
                        if (index > 0 && index <= static_cast<int32_t>(c.m_vecActionRects.size())) {
                            dirtyNoErase.push_back(c.m_vecActionRects[index - 1]);
                        }
                    }
                    c.m_nHoverAction = hovered;
                }
            } else {
                for (int i = 0; i < 3; ++i) {
                    if (PointInRect(c.m_rcDefaultActions[i], point)) {
                        hovered = i + 1;
                        break;
                    }
                }
                if (hovered != c.m_nHoverAction) {
                    c.m_nHoverAction = hovered;
                    for (const RECT& r : c.m_rcDefaultActions) dirty.push_back(r);
                }
            }
        }

        if (state == kStatePromptForFilename) {
            for (size_t k = 0; k < c.m_vecBrowseRects.size() && k < c.m_vecBrowseHover.size(); ++k) {
                const bool over = PointInRect(c.m_vecBrowseRects[k], point);
                if (over != c.m_vecBrowseHover[k]) {
                    c.m_vecBrowseHover[k] = over;
                    dirtyNoErase.push_back(c.m_vecBrowseRects[k]);
                }
            }
        }
    }
    if (sizingCursor) {
        CustomerUIWindow* window = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_csWindow);
            window = m_window;
        }
        if (window) window->SetSizingCursor();
    }
    if (moveSplit) MoveSplitLine(point.y, false);
    if (state == kStateShowVideo) {
        const int index = ActiveIntensityControl();
        Tovanix::IntensityControl& control = m_IntensityControls[index];
        if (control.OnMouseMove({point.x, point.y})) {
            // The strip of the markers under the control.
            const Tovanix::ControlRect r = control.m_rect;
            const RECT area = HistogramRepaintArea(r);
            const int32_t h = area.bottom - r.bottom - 1;
            dirty.push_back({r.left - h / 2, r.bottom + 1, r.right + h / 2 + 1, r.bottom + 1 + h + 1});
        }
    }
    for (const RECT& r : dirty) Invalidate(&r, true);
    for (const RECT& r : dirtyNoErase) Invalidate(&r, false);
}

void CustomerUI::OnNextClicked() {
    const int32_t state = m_nState.load();
    LogAction("NextClicked", state, nullptr);
    switch (state) {
    case kStateLogin: {
        CString error;
        if (ValidateLogin(error)) {
            HandBack("Login Success", false);
        } else {
            ShowMessage(error, 5);
        }
        break;
    }
    case 2:
    case 3:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
        EndWait("Next");
        break;
    default:
        break;
    }
}

bool CustomerUI::ValidateLogin(CString& error) const {
    const size_t user = GetControlText(IDC_INPUT1).size();
    const size_t password = GetControlText(IDC_PASSWORD).size();
    if (user < 4) {
        error = "User name must be at least 4 characters.";
    } else if (user > 20) {
        error = "User name must be no more than 20 characters.";
    } else if (password < 4) {
        error = "Password must be at least 4 characters.";
    } else if (password > 64) {
        error = "Password must be no more than 64 characters.";
    } else {
        return true;
    }
    return false;
}

bool CustomerUI::OnBrowseClicked(Point point) {
    if (m_nState.load() != kStatePromptForFilename) return false;
    std::vector<RECT> rects;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        rects = m_content.m_vecBrowseRects;
    }
    for (size_t i = 0; i < rects.size() && i < kInputEdits.size(); ++i) {
        if (!PointInRect(rects[i], point)) continue;
        // The dialog runs its own event loop, in which timers and paints
        // call back into this object: no lock may be held meanwhile. The
        // window lives on this (the user-interface) thread.
        CustomerUIWindow* window = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_csWindow);
            window = m_window;
        }
        std::string path;
        const bool chosen = window && window->ChooseExperimentSettingsFile(&path);
        if (chosen) {
            {
                std::lock_guard<std::mutex> lock(m_csContent);
                m_controls[kInputEdits[i]].text = path;
            }
            ControlsChanged();
        }
        return true;
    }
    return false;
}

bool CustomerUI::ShowMessage(const char* text, int32_t seconds) {
    RECT old;
    RECT placed{};
    {
        std::lock_guard<std::mutex> lock(m_csMessage);
        m_message.m_nMessageTicksLeft = 20;
        m_message.m_nMessageTicks = 20;
        m_message.m_strMessage = text ? text : "";
        old = m_message.m_rcMessage;
        {
            std::lock_guard<std::mutex> window(m_csWindow);
            if (m_metrics) {
                placed = MessageRect(*m_metrics, m_message.m_strMessage, theApp.m_nCustomerUIWidth,
                                     theApp.m_nCustomerUIHeight);
            }
        }
        m_message.m_rcMessage = placed;
    }
    SetTimer(kTimerMessage, static_cast<uint32_t>(std::max(seconds, 0)) * 50);
    Invalidate(&old, true);
    Invalidate(&placed, true);
    return true;
}

void CustomerUI::ShowMessageDeferred(const char* text, int32_t seconds) {
    {
        std::lock_guard<std::mutex> lock(m_csMessage);
        m_message.m_strDeferredMessage = text ? text : "";
        m_message.m_nDeferredMessageSec = seconds;
    }
    SetTimer(kTimerDeferredMessage, 10);
}

// ---------------------------------------------------------------------------
// Exposure panel

void CustomerUI::FillExposureCombo(int combo) {
    const int type = ComboImageType(combo);
    if (!type) return;
    const int32_t exposure = ReadExposure(type, 0);
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        ControlState& control = m_controls[combo];
        control.items.assign(std::begin(kExposureChoices), std::end(kExposureChoices));
        control.text = std::to_string(exposure);
    }
    ControlsChanged();
}

void CustomerUI::LoadImageTypeSettings() {
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        // A value other than TRUE or FALSE follows the type before it (type 1: inactive).
        bool active = false;
        for (int type = 1; type <= 3; ++type) {
            const std::string flag = ReadSetting(TypeKey("IsActive", type), 9);
            if (strcasecmp(flag.c_str(), "TRUE") == 0) {
                active = true;
            } else if (strcasecmp(flag.c_str(), "FALSE") == 0) {
                active = false;
            }
            ControlState& control = m_controls[IDC_COMBO1 + type - 1];
            control.text = active ? std::to_string(ReadExposure(type, 100)) : "OFF";
        }
        if (theApp.m_bQX4Lite) {
            m_controls[IDC_COMBO2].visible = false;
            m_controls[IDC_COMBO3].visible = false;
        }
    }
    ControlsChanged();
}

void CustomerUI::UpdateExposureComboVisibility(int combo) {
    const int type = ComboImageType(combo);
    if (!type) return;
    ShowControl(combo, IsActiveSetting(type));
}

void CustomerUI::ApplyExposure(int combo, std::string* applied) {
    if (applied) applied->clear();
    const int type = ComboImageType(combo);
    if (!type) return;
    const std::string text = GetControlText(combo);
    std::string trimmed = text;
    trimmed.erase(0, trimmed.find_first_not_of(" \t"));
    trimmed.erase(trimmed.find_last_not_of(" \t") + 1);
    if (strcasecmp(trimmed.c_str(), "OFF") == 0) {
        WriteSetting(TypeKey("IsActive", type), "FALSE");
        {
            std::lock_guard<std::mutex> lock(m_csContent);
            m_controls[combo].text = std::to_string(ReadExposure(type, 0));
            m_controls[combo].visible = false;
        }
        ControlsChanged();
        Invalidate(nullptr, true);
        if (applied) *applied = "OFF";
        return;
    }
    WriteSetting(TypeKey("IsActive", type), "TRUE");
    long value = 0;
    if (!ParseInteger(text, &value) || value < 0 || value > 0xFFFFFFFFL) return;
    CString error;
    if (!CheckExposureAgainstCameraLimits(static_cast<uint32_t>(value), error)) return;
    WriteSetting(TypeKey("ImageTypeExposure", type), std::to_string(value));
    WriteSetting(TypeKey("IsActive", type), "TRUE");
    if (applied) *applied = std::to_string(static_cast<unsigned long>(value));
}

void CustomerUI::OnCbnCloseupCombo(int combo) {
    const int type = ComboImageType(combo);
    if (!type) return;
    LogAction(("OnCbnCloseupCombo" + std::to_string(type)).c_str(), m_nState.load(), nullptr);
    SetTimer(kTimerExposure1 + type - 1, 100);
}

void CustomerUI::OnCbnEditchangeCombo(int combo) {
    const int type = ComboImageType(combo);
    if (type) SetTimer(kTimerExposure1 + type - 1, 1000);
}

void CustomerUI::OnBnClickedRadio(int radio) {
    if (radio < IDC_RADIO1 || radio > IDC_RADIO3) return;
    LogAction(("OnBnClickedRadio" + std::to_string(radio - IDC_RADIO1 + 1)).c_str(), m_nState.load(), nullptr);
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        for (int id : {IDC_RADIO1, IDC_RADIO2, IDC_RADIO3}) m_controls[id].checked = id == radio;
    }
    SetTimer(kTimerRadio, 10);
}

void CustomerUI::CheckRadioButton(int first, int last, int checked) {
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        for (int id = first; id <= last; ++id) m_controls[id].checked = id == checked;
    }
    Invalidate(nullptr, true);
}

int CustomerUI::ActiveIntensityControl() const {
    std::lock_guard<std::mutex> lock(m_csContent);
    if (m_controls.at(IDC_RADIO2).checked) return 1;
    if (m_controls.at(IDC_RADIO3).checked) return 2;
    return 0;
}

// ---------------------------------------------------------------------------
// Timers

void CustomerUI::ChooseInitialLiveImageType() {
    if (m_nLiveImageType.load() != -1) return;
    ToolbarAccess toolbar;
    {
        std::lock_guard<std::mutex> lock(m_csWindow);
        toolbar = m_toolbar;
    }
    const int index = toolbar.getImageTypeIndex ? toolbar.getImageTypeIndex() : 0;
    m_nLiveImageType = index;
    if (index < 0 || index > 2) return;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        for (int k = 0; k < 3; ++k) m_controls[IDC_RADIO1 + k].checked = k == index;
    }
    ControlsChanged();
}

uint64_t CustomerUI::NowMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(platform::GetClock().Now().time_since_epoch()).count());
}

void CustomerUI::SetTimer(int id, uint32_t periodMs) { m_timers.Set(id, periodMs, NowMs()); }

void CustomerUI::KillTimer(int id) { m_timers.Kill(id); }

void CustomerUI::RunDueTimers() {
    for (int id : m_timers.TakeDue(NowMs())) {
        // A timer killed by an earlier one in this round does not fire.
        if (m_timers.IsArmed(id)) OnTimer(id);
    }
}

bool CustomerUI::LiveViewRunning() const {
    const FrameHooks hooks = GetFrameHooks();
    return hooks.livePreviewOpen && hooks.livePreviewOpen();
}

void CustomerUI::OnTimer(int id) {
    switch (id) {
    case kTimerMessage: {
        RECT rect;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(m_csMessage);
            rect = m_message.m_rcMessage;
            if (m_message.m_nMessageTicksLeft > 0) {
                --m_message.m_nMessageTicksLeft;
            } else {
                done = true;
            }
        }
        Invalidate(&rect, true);
        if (done) KillTimer(kTimerMessage);
        break;
    }
    case kTimerLiveOn:
        KillTimer(kTimerLiveOn);
        if (!LiveViewRunning()) platform::PostCommand(kLiveImageCommand);
        break;
    case kTimerLiveOff:
        KillTimer(kTimerLiveOff);
        if (LiveViewRunning()) platform::PostCommand(kLiveImageCommand);
        break;
    case kTimerExposure1:
    case kTimerExposure1 + 1:
    case kTimerExposure1 + 2: {
        KillTimer(id);
        const int type = id - kTimerExposure1 + 1;
        std::string applied;
        ApplyExposure(IDC_COMBO1 + type - 1, &applied);
        LogAction(("OnChangeExposure" + std::to_string(type)).c_str(), m_nState.load(), applied.c_str());
        break;
    }
    case kTimerScriptEndWatch:
        OnScriptEndWatchTick();
        break;
    case kTimerDeferredMessage: {
        KillTimer(kTimerDeferredMessage);
        std::string text;
        int32_t seconds = 0;
        {
            std::lock_guard<std::mutex> lock(m_csMessage);
            text.swap(m_message.m_strDeferredMessage);
            seconds = m_message.m_nDeferredMessageSec;
            m_message.m_nDeferredMessageSec = 0;
        }
        ShowMessage(text.c_str(), seconds);
        break;
    }
    case kTimerScript:
        OnScriptTimerTick();
        break;
    case kTimerRadio: {
        KillTimer(kTimerRadio);
        int index = -1;
        {
            std::lock_guard<std::mutex> lock(m_csContent);
            for (int k = 0; k < 3; ++k) {
                if (m_controls[IDC_RADIO1 + k].checked) index = k;
            }
        }
        if (index < 0) break;
        ToolbarAccess toolbar;
        {
            std::lock_guard<std::mutex> lock(m_csWindow);
            toolbar = m_toolbar;
        }
        const int shown = toolbar.getImageTypeIndex ? toolbar.getImageTypeIndex() : 0;
        if (index != shown) {
            if (toolbar.showImageType) toolbar.showImageType(index);
            EditContent([](CustomerUIContent& c) { c.m_bFullRepaint = true; });
            Invalidate(nullptr, true);
        }
        break;
    }
    case kTimerPumpWatch:
        OnPumpWatchTick();
        break;
    case kTimerShowNext:
    case kTimerShowBack: {
        KillTimer(id);
        RECT rect;
        {
            std::lock_guard<std::mutex> lock(m_csContent);
            if (id == kTimerShowNext) {
                m_content.m_bNextHidden = false;
                rect = m_content.m_rcNext[m_content.m_nNextLook];
            } else {
                m_content.m_bBackHidden = false;
                rect = m_content.m_rcBack[m_content.m_nBackLook];
            }
        }
        Invalidate(&rect, true);
        break;
    }
    case kTimerRepaint:
        KillTimer(kTimerRepaint);
        Invalidate(nullptr, true);
        break;
    default:
        break;
    }
}

void CustomerUI::OnScriptEndWatchTick() {
    if (Script::IsScriptRunning(1, nullptr)) return;
    m_hEvent.Set();
    KillTimer(kTimerScriptEndWatch);
    m_bVisible = false;
    std::lock_guard<std::mutex> lock(m_csWindow);
    if (m_window) m_window->ShowWindow(false);
}

int64_t CustomerUI::SystemTimeMs() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return static_cast<int64_t>(platform::SystemTimeToFileTime100ns(now) / 10000);
}

void CustomerUI::StartScriptTimer(uint32_t durationMs, bool countDown) {
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        m_timer.m_nTimerStartMs = SystemTimeMs();
        m_timer.m_nTimerDurationMs = durationMs;
        m_timer.m_bTimerCountDown = countDown;
        m_timer.m_nSavedTimerStartMs = m_timer.m_nTimerStartMs;
        m_timer.m_nSavedTimerDurationMs = durationMs;
        m_timer.m_bSavedTimerCountDown = countDown;
    }
    SetTimer(kTimerScript, 1000);
}

void CustomerUI::StopScriptTimer() {
    KillTimer(kTimerScript);
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        m_timer.m_nTimerDurationMs = 0;
        m_timer.m_nTimerStartMs = 0;
    }
    Invalidate(&m_rcTimer, true);
}

void CustomerUI::ContinueScriptTimer() {
    KillTimer(kTimerScript);
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        m_timer.m_nTimerDurationMs = m_timer.m_nSavedTimerDurationMs;
        m_timer.m_nTimerStartMs = m_timer.m_nSavedTimerStartMs;
        m_timer.m_bTimerCountDown = m_timer.m_bSavedTimerCountDown;
    }
    SetTimer(kTimerScript, 1000);
}

void CustomerUI::GetTimerInfo(int32_t* remainingSec, int32_t* elapsedSec) const {
    int64_t elapsed = 0;
    uint32_t duration = 0;
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        elapsed = SystemTimeMs() - m_timer.m_nTimerStartMs;
        duration = m_timer.m_nTimerDurationMs;
    }
    int32_t remaining = 0, passed = 0;
    if (elapsed >= 0 && static_cast<int64_t>(duration) >= elapsed) {
        remaining = static_cast<int32_t>((duration - elapsed) / 1000);
        passed = static_cast<int32_t>(elapsed / 1000);
    }
    if (remainingSec) *remainingSec = remaining;
    if (elapsedSec) *elapsedSec = passed;
}

void CustomerUI::OnScriptTimerTick() {
    bool expired = false;
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        const uint64_t elapsed = static_cast<uint64_t>(SystemTimeMs() - m_timer.m_nTimerStartMs);
        expired = elapsed > m_timer.m_nTimerDurationMs;
    }
    if (expired) {
        KillTimer(kTimerScript);
        HandBack("TimerExpired", true);
    }
    Invalidate(&m_rcTimer, true);
}

// ---------------------------------------------------------------------------
// Pump watch

bool CustomerUI::TriggerEventWhenPumpStopsMoving(int ipump, int timeout_sec, CString& error) {
    if (ipump != 1 && ipump != 2) {
        error.Format("%s() - ipump=%ld, must be 1 or 2", "CustomerUI::TriggerEventWhenPumpStopsMoving",
                     static_cast<long>(ipump));
        return false;
    }
    if (timeout_sec < 4 || timeout_sec > 3600) {
        error.Format("%s() - timeout_sec=%ld, must be between 4 and 3600", "CustomerUI::TriggerEventWhenPumpStopsMoving",
                     static_cast<long>(timeout_sec));
        return false;
    }
    KillTimer(kTimerPumpWatch);
    Tovanix::String reply, pumpError;
    if (!TecanCentris::SendCommand(theApp.m_nPumpComPort, ipump, "?29", 200, &reply, &pumpError)) {
        error = pumpError.c_str();
        return false;
    }
    const bool standing = strcasecmp(reply.c_str(), "0") == 0;
    {
        std::lock_guard<std::mutex> lock(m_csPump);
        m_nWatchedPump = ipump;
        m_tPumpWatchStart = CalendarSeconds();
        m_nPumpWatchTimeoutSec = timeout_sec;
        m_bPumpSeenMoving = standing ? 0 : 1;
    }
    SetTimer(kTimerPumpWatch, standing ? 500 : 1000);
    return true;
}

void CustomerUI::OnPumpWatchTick() {
    int32_t pump = 0;
    bool timedOut = false;
    {
        std::lock_guard<std::mutex> lock(m_csPump);
        pump = m_nWatchedPump;
        timedOut = CalendarSeconds() > m_tPumpWatchStart + m_nPumpWatchTimeoutSec;
    }
    auto finish = [this](const char* name) {
        KillTimer(kTimerPumpWatch);
        HandBack(name, true);
        Invalidate(nullptr, true);
    };
    if (timedOut) {
        finish("TimeoutWaitingForPumpToStopMoving");
        return;
    }
    Tovanix::String reply, error;
    if (!TecanCentris::SendCommand(theApp.m_nPumpComPort, pump, "?29", 200, &reply, &error)) {
        LogErrAndInfo("CustomerUI", __LINE__, error.c_str());
        finish("ErrorReadingPumpState");
        return;
    }
    const bool standing = strcasecmp(reply.c_str(), "0") == 0;
    bool seenMoving = false;
    {
        std::lock_guard<std::mutex> lock(m_csPump);
        seenMoving = m_bPumpSeenMoving != 0;
        if (!standing && !seenMoving) m_bPumpSeenMoving = 1;
    }
    if (!standing) {
        if (!seenMoving) SetTimer(kTimerPumpWatch, 1000);
    } else if (seenMoving) {
        finish("PumpStoppedMoving");
    }
}

// ---------------------------------------------------------------------------
// Content setters

void CustomerUI::EditContent(const std::function<void(CustomerUIContent&)>& change) {
    std::lock_guard<std::mutex> lock(m_csContent);
    change(m_content);
}

bool CustomerUI::DefineGroupBox(const RECT& rect, COLORREF fill, COLORREF border, int32_t thickness, int32_t radius,
                                CString& error) {
    const RECT client = ClientRect();
    std::lock_guard<std::mutex> lock(m_csContent);
    CustomerUIContent& c = m_content;
    if (c.m_vecGroupBoxRects.size() >= 10) {
        error = "No more than 10 group boxes may be defined.";
        return false;
    }
    if (rect.left < client.left || rect.right > client.right || rect.top < client.top || rect.bottom > client.bottom) {
        error.Format("The group box rectangle must be inside the CustomerUI window: width=%ld and height=%ld",
                     static_cast<long>(client.right - client.left), static_cast<long>(client.bottom - client.top));
        return false;
    }
    if (thickness < 0 || thickness > 10) {
        error = "Border thickness must not be more than 10 or less than 0";
        return false;
    }
    // The bound is half the smaller side, as the message says.
    const int32_t smaller = std::min(rect.right - rect.left, rect.bottom - rect.top);
    if (radius < 0 || radius > smaller / 2) {
        error = "Corner radius must not be less than 0 or greater than half the minumum of the height or width of "
                "the group box rectangle.";
        return false;
    }
    c.m_vecGroupBoxRects.push_back(rect);
    c.m_vecGroupBoxFill.push_back(fill);
    c.m_vecGroupBoxRadius.push_back(radius);
    c.m_vecGroupBoxThickness.push_back(thickness);
    c.m_vecGroupBoxBorder.push_back(border);
    return true;
}

bool CustomerUI::SetImage(int32_t index, const char* name, CString& error) {
    if (index < 1 || index > 6) {
        error = "CustomerUI_SetImage() - image index must be between 1 and 6.";
        return false;
    }
    const std::string given = name ? name : "";
    std::string path;
    if (!given.empty()) {
        path = HasFolder(given) ? platform::NativePath(given) : JoinCustomerFolder(given);
        if (!platform::FileExists(path)) {
            error.Format("CustomerUI_SetImage() - file does not exist: %s", given.c_str());
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(m_csContent);
    if (m_content.m_vecImages.size() < static_cast<size_t>(index)) m_content.m_vecImages.resize(index);
    m_content.m_vecImages[index - 1] = path;
    return true;
}

bool CustomerUI::SetInput(int32_t index, const char* label, const char* defaultText, int32_t maxLength) {
    if (index < 0 || index > m_nMaxInputIndex) return false;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        CustomerUIContent& c = m_content;
        const size_t size = static_cast<size_t>(index) + 1;
        if (c.m_vecInputLabels.size() < size) c.m_vecInputLabels.resize(size);
        if (c.m_vecInputDefaults.size() < size) c.m_vecInputDefaults.resize(size);
        if (c.m_vecInputMaxLengths.size() < size) c.m_vecInputMaxLengths.resize(size);
        c.m_vecInputLabels[index] = label ? label : "";
        c.m_vecInputDefaults[index] = defaultText ? defaultText : "";
        c.m_vecInputMaxLengths[index] = maxLength;
        m_controls[kInputEdits[index]].text = c.m_vecInputDefaults[index];
    }
    ControlsChanged();
    return true;
}

bool CustomerUI::SetCheckboxInput(int32_t index, const char* label, int32_t checked) {
    if (index < 0 || index > m_nMaxInputIndex) return false;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        CustomerUIContent& c = m_content;
        if (c.m_vecInputLabels.size() < static_cast<size_t>(index) + 1) c.m_vecInputLabels.resize(index + 1);
        c.m_vecInputLabels[index] = label ? label : "";
        m_controls[IDC_CHECK1 + index].checked = checked != 0;
    }
    ControlsChanged();
    return true;
}

bool CustomerUI::SetArrowImages(bool next, const char* normal, const char* hover, CString& error) {
    const char* names[2] = {normal, hover};
    for (int i = 0; i < 2; ++i) {
        const std::string name = names[i] ? names[i] : "";
        if (!name.empty()) {
            const std::string path = JoinCustomerFolder(name);
            if (!platform::FileExists(path)) {
                error.Format("File does not exist: %s", path.c_str());
                return false;
            }
        }
        std::lock_guard<std::mutex> lock(m_csContent);
        if (next) {
            (i == 0 ? m_content.m_strNextImage : m_content.m_strNextHoverImage) = name;
        } else {
            (i == 0 ? m_content.m_strBackImage : m_content.m_strBackHoverImage) = name;
        }
    }
    RECT rect;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        rect = next ? m_content.m_rcNext[m_content.m_nNextLook] : m_content.m_rcBack[m_content.m_nBackLook];
    }
    Invalidate(rect.left == 0 ? nullptr : &rect, true);
    return true;
}

bool CustomerUI::SetNextImages(const char* normal, const char* hover, CString& error) {
    return SetArrowImages(true, normal, hover, error);
}

bool CustomerUI::SetBackImages(const char* normal, const char* hover, CString& error) {
    return SetArrowImages(false, normal, hover, error);
}

// ---------------------------------------------------------------------------
// Controls

ControlState CustomerUI::GetControl(int id) const {
    std::lock_guard<std::mutex> lock(m_csContent);
    auto it = m_controls.find(id);
    return it == m_controls.end() ? ControlState{} : it->second;
}

std::string CustomerUI::GetControlText(int id) const { return GetControl(id).text; }

void CustomerUI::SetControlText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_csContent);
    auto it = m_controls.find(id);
    if (it != m_controls.end()) it->second.text = text;
}

void CustomerUI::SetControlChecked(int id, bool checked) {
    std::lock_guard<std::mutex> lock(m_csContent);
    auto it = m_controls.find(id);
    if (it != m_controls.end()) it->second.checked = checked;
}

void CustomerUI::ShowControl(int id, bool show) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        auto it = m_controls.find(id);
        if (it != m_controls.end() && it->second.visible != show) {
            it->second.visible = show;
            changed = true;
        }
    }
    if (changed) ControlsChanged();
}

void CustomerUI::MoveControl(int id, const RECT& rect) {
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        auto it = m_controls.find(id);
        if (it != m_controls.end() && !(it->second.rect == rect)) {
            it->second.rect = rect;
            changed = true;
        }
    }
    if (changed) ControlsChanged();
}

void CustomerUI::ShowEditControls(int a, int b, int c) {
    for (size_t k = 0; k < kInputEdits.size(); ++k) {
        const int edit = kInputEdits[k];
        ShowControl(edit, edit == a || edit == b || edit == c);
        const int check = IDC_CHECK1 + static_cast<int>(k);
        ShowControl(check, check == a || check == b || check == c);
    }
    ShowControl(IDC_PASSWORD, b == IDC_PASSWORD);
    for (int combo : {IDC_COMBO1, IDC_COMBO2, IDC_COMBO3}) ShowControl(combo, false);
    ShowControl(IDC_RADIO1, a == IDC_RADIO1);
    ShowControl(IDC_RADIO2, b == IDC_RADIO2);
    ShowControl(IDC_RADIO3, c == IDC_RADIO3);
}

void CustomerUI::HideStateControls() {
    ShowControl(IDC_PASSWORD, false);
    for (int id : {IDC_COMBO1, IDC_COMBO2, IDC_COMBO3, IDC_RADIO1, IDC_RADIO2, IDC_RADIO3}) ShowControl(id, false);
    for (int k = 0; k < kCheckBoxCount; ++k) ShowControl(IDC_CHECK1 + k, false);
}

void CustomerUI::HideInputEdits() {
    for (int edit : kInputEdits) ShowControl(edit, false);
    for (int id : {IDC_PASSWORD, IDC_COMBO1, IDC_COMBO2, IDC_COMBO3, IDC_RADIO1, IDC_RADIO2, IDC_RADIO3}) {
        ShowControl(id, false);
    }
}

// ---------------------------------------------------------------------------
// Painting

CustomerUISnapshot CustomerUI::Snapshot() const {
    CustomerUISnapshot snapshot;
    snapshot.state = m_nState.load();
    snapshot.width = theApp.m_nCustomerUIWidth;
    snapshot.height = theApp.m_nCustomerUIHeight;
    snapshot.background = g_CustomerUIBackgroundColor.load();
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        snapshot.content = m_content;
        snapshot.controls = m_controls;
        snapshot.rcTimer = m_rcTimer;
    }
    {
        std::lock_guard<std::mutex> lock(m_csMessage);
        snapshot.message = m_message;
    }
    {
        std::lock_guard<std::mutex> lock(m_csTimer);
        snapshot.timer = m_timer;
    }
    {
        std::lock_guard<std::mutex> lock(m_csSplit);
        snapshot.splitPercent = m_strSplitPercent;
    }
    return snapshot;
}

ArrowPlan CustomerUI::PlanArrow(bool next, const RECT& client, bool hover, const std::string& caption,
                                const ImageSizeFunction& imageSize) {
    ArrowPlan plan;
    const int32_t screenHeight = theApp.m_nCustomerUIHeight;
    const std::array<Point, 8> polygon = next ? NextArrowPolygon(client, screenHeight, m_nBottomMargin)
                                              : BackArrowPolygon(client, screenHeight, m_nBottomMargin);
    std::string normal, hovered;
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        CustomerUIContent& c = m_content;
        if (next ? c.m_bNextHidden : c.m_bBackHidden) return plan;
        std::array<RECT, 3>& rects = next ? c.m_rcNext : c.m_rcBack;
        if (rects[0].left == 0) rects[0] = PolygonBounds(polygon);
        normal = next ? c.m_strNextImage : c.m_strBackImage;
        hovered = next ? c.m_strNextHoverImage : c.m_strBackHoverImage;
    }
    plan.drawn = true;
    plan.polygon = polygon;
    // Tries one arrow image: its rectangle is centred on the drawn arrow's box.
    auto tryImage = [&](const std::string& name, int32_t look) {
        if (name.empty()) return false;
        const std::string path = JoinCustomerFolder(name);
        int32_t w = 0, h = 0;
        if (!imageSize || !imageSize(path, &w, &h)) return false;
        std::lock_guard<std::mutex> lock(m_csContent);
        std::array<RECT, 3>& rects = next ? m_content.m_rcNext : m_content.m_rcBack;
        rects[look] = CenterImageRect(rects[0], w, h, screenHeight, m_nBottomMargin);
        plan.imagePath = path;
        return true;
    };
    if (hover) {
        plan.look = tryImage(hovered, 2) ? 2 : 0;
        plan.colour = kArrowWhite;
    } else {
        plan.look = tryImage(normal, 1) ? 1 : 0;
        plan.colour = kArrowTeal;
    }
    {
        std::lock_guard<std::mutex> lock(m_csContent);
        (next ? m_content.m_nNextLook : m_content.m_nBackLook) = plan.look;
        plan.rect = (next ? m_content.m_rcNext : m_content.m_rcBack)[plan.look];
    }
    plan.caption = caption;
    plan.captionColour = hover ? kArrowTeal : kArrowWhite;
    return plan;
}

void CustomerUI::SetPaintedState(int32_t state) { m_nPaintedState = state; }

RECT CustomerUI::GetVideoRect() const {
    std::lock_guard<std::mutex> lock(m_csContent);
    return m_content.m_rcVideo;
}

}  // namespace customer_ui
