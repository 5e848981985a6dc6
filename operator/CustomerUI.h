#pragma once

// The customer run screen: the operator's whole-screen window whose screens a
// customer script (interpreter instance 1) sets one at a time. A screen
// command of the script calls SetState and then waits (WaitForEvent) until
// the operator acts, a script timer runs out or a watched pump stops; the
// name of what happened comes back as text. The screen never decides the
// flow of a run: it draws what the script put into it, collects the
// operator's input and hands back one event name per wait.
//
// This object holds the screen's whole state in plain C++ and is safe to use
// from the four threads that touch it: the user-interface thread (input,
// timers, painting), the script thread (states and content), the render
// thread (visibility, state, video panel, split text) and the live-view
// thread (live image type). Each group of content has its own lock; painters
// draw from a Snapshot. The window (operator/ui) only paints the snapshot and
// forwards input and timer ticks; it is reached through CustomerUIWindow.
//
// Errors: false and a message, starting with the operation's name, in the
// caller's error text.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/IntensityControl.h"
#include "operator/CustomerUILayout.h"
#include "operator/TimerBank.h"
#include "platform/CString.h"
#include "platform/Rect.h"
#include "platform/Sync.h"

namespace customer_ui {

// Child controls of the screen.
enum ControlId : int {
    IDC_INPUT1 = 1349,  // user name on the Login screen
    IDC_INPUT2 = 1350,
    IDC_COMBO1 = 1351,  // exposure of image types 1..3
    IDC_COMBO2 = 1352,
    IDC_COMBO3 = 1353,
    IDC_RADIO1 = 1354,  // image type shown live
    IDC_RADIO2 = 1355,
    IDC_RADIO3 = 1356,
    IDC_INPUT3 = 1357,
    IDC_INPUT4 = 1358,
    IDC_INPUT5 = 1359,
    IDC_INPUT6 = 1360,
    IDC_PASSWORD = 1361,
    IDC_CHECK1 = 1406,  // check boxes 1..6: 1406..1411
};
constexpr std::array<int, 6> kInputEdits = {IDC_INPUT1, IDC_INPUT2, IDC_INPUT3, IDC_INPUT4, IDC_INPUT5, IDC_INPUT6};
constexpr int kCheckBoxCount = 6;
// Every child control, in creation order.
std::vector<int> AllControlIds();

// Window timers of the screen.
enum TimerId : int {
    kTimerMessage = 1000,
    kTimerLiveOn = 1001,
    kTimerLiveOff = 1002,
    kTimerExposure1 = 1003,  // ..1005
    kTimerScriptEndWatch = 1006,
    kTimerDeferredMessage = 1007,
    kTimerScript = 1008,
    kTimerRadio = 1009,
    kTimerPumpWatch = 1010,
    kTimerShowNext = 1011,
    kTimerShowBack = 1012,
    kTimerRepaint = 1013,
};

// Main-window command that toggles live view.
constexpr int kLiveImageCommand = 32802;

// The state table.
constexpr int32_t kUndefinedState = -1;
constexpr int32_t kStateLogin = 0;
constexpr int32_t kStateSelectAction = 1;
constexpr int32_t kStateShowVideo = 7;
constexpr int32_t kStatePromptForFilename = 11;
constexpr int32_t kNumberOfStates = 15;
// The name the action log writes for a state number.
const char* StateName(int32_t state);

// One child control as the screen holds it; the window mirrors it.
struct ControlState {
    std::string text;
    bool visible = false;
    bool checked = false;
    RECT rect;                       // client coordinates
    std::vector<std::string> items;  // list of a combo box
};

// What the logic asks of its window. Calls may come from any thread; the
// window carries them out on its user-interface thread.
class CustomerUIWindow {
public:
    virtual ~CustomerUIWindow() = default;
    virtual void ShowWindow(bool show) = 0;
    // rect null: the whole window.
    virtual void Invalidate(const RECT* rect, bool erase) = 0;
    // Texts, visibility, checks, places or lists of child controls changed.
    virtual void ControlsChanged() = 0;
    // User-interface thread only.
    virtual void SetSizingCursor() = 0;
    // The file-open dialog of the file-name screen; true with the chosen path.
    virtual bool ChooseExperimentSettingsFile(std::string* path) = 0;
};

// The main window's toolbar, reached through the functions its owner installs.
struct ToolbarAccess {
    std::function<int()> getImageTypeIndex;       // 0..3, 255 none
    std::function<bool(int index)> showImageType;  // switches the live image type
};

// Content that the script sets and the painters read (one lock).
struct CustomerUIContent {
    // Zoom-in area of the video panel, fractions of the live image.
    double m_dZoomLeft = 0.0;
    double m_dZoomRight = 1.0;
    double m_dZoomTop = 0.0;
    double m_dZoomBottom = 1.0;

    // Appearance.
    COLORREF m_crText = kTextColour;
    COLORREF m_crHighlight = kHighlightColour;
    double m_dTopLinePos = 0.01;
    double m_dActionsTopLinePos = 0.0;

    // Video screen.
    RECT m_rcVideo;
    RECT m_rcSplitPercent;
    int32_t m_nComboHeight = 0;
    int32_t m_nExposurePanelLayout = 1;
    bool m_bExposurePanelLayoutDirty = true;
    std::array<RECT, 3> m_rcImageTypeLabels{};

    // File-name screen.
    std::vector<RECT> m_vecBrowseRects;
    std::vector<bool> m_vecBrowseHover;

    // Action buttons.
    std::array<RECT, 3> m_rcDefaultActions{};
    int32_t m_nHoverAction = 0;

    // Next and Back arrows.
    std::string m_strNextHoverImage, m_strNextImage, m_strBackHoverImage, m_strBackImage;
    bool m_bNextHidden = false;
    bool m_bBackHidden = false;
    std::array<RECT, 3> m_rcNext{};  // by look: 0 drawn, 1 normal image, 2 hover image
    std::array<RECT, 3> m_rcBack{};
    int32_t m_nNextLook = 0;
    int32_t m_nBackLook = 0;
    std::vector<bool> m_vecNextHover = std::vector<bool>(kNumberOfStates, false);
    std::vector<bool> m_vecBackHover = std::vector<bool>(kNumberOfStates, false);
    bool m_bFullRepaint = false;

    // Screen content set by the script.
    std::string m_strTitle;
    std::string m_strActionTitle = "Select the protocol you would like to run.";
    std::vector<std::string> m_vecTextLines;
    std::vector<std::string> m_vecInputLabels;
    std::vector<std::string> m_vecInputDefaults;
    std::vector<int32_t> m_vecInputMaxLengths;
    std::string m_strNextText, m_strBackText;
    bool m_bShowSplitLine = true;
    bool m_bSplitLineAdjustable = true;
    std::vector<std::string> m_vecImages;
    std::vector<std::string> m_vecImageCaptions;
    std::vector<RECT> m_vecGroupBoxRects;
    std::vector<COLORREF> m_vecGroupBoxFill;
    std::vector<COLORREF> m_vecGroupBoxBorder;
    std::vector<int32_t> m_vecGroupBoxThickness;
    std::vector<int32_t> m_vecGroupBoxRadius;
    std::vector<std::string> m_vecActionLines;
    std::vector<RECT> m_vecActionRects;
    std::string m_strActionFontName;
    int32_t m_nActionFontHeight = 0;
    int64_t m_crActionText = -1, m_crActionTextHighlight = -1, m_crActionBack = -1, m_crActionBackHighlight = -1;
    int32_t m_nActionCornerRadius = 0, m_nActionVerticalSpacing = 0, m_nActionButtonWidth = 0;
};

// The transient message line (m_csMessage).
struct MessageLine {
    int32_t m_nMessageTicksLeft = 0;
    int32_t m_nMessageTicks = 20;
    RECT m_rcMessage;
    std::string m_strMessage;
    std::string m_strDeferredMessage;
    int32_t m_nDeferredMessageSec = 0;
};

// The script timer (m_csTimer): start in UTC milliseconds since 1601.
struct ScriptTimer {
    int64_t m_nTimerStartMs = 0;
    uint32_t m_nTimerDurationMs = 0;
    bool m_bTimerCountDown = true;
    int64_t m_nSavedTimerStartMs = 0;
    uint32_t m_nSavedTimerDurationMs = 0;
    bool m_bSavedTimerCountDown = true;
};

// A consistent copy of everything the painters draw.
struct CustomerUISnapshot {
    int32_t state = kUndefinedState;
    int32_t width = 0;   // client size
    int32_t height = 0;
    COLORREF background = kDefaultBackground;
    CustomerUIContent content;
    MessageLine message;
    ScriptTimer timer;
    RECT rcTimer;
    std::string splitPercent;
    std::map<int, ControlState> controls;
};

// How one arrow is drawn this time (PlanArrow).
struct ArrowPlan {
    bool drawn = false;      // false: hidden or not part of the state
    int32_t look = 0;        // 0 polygon, 1 normal image, 2 hover image
    std::string imagePath;   // look 1 and 2: the file to draw into `rect`
    RECT rect;               // the rectangle of the look
    std::array<Point, 8> polygon{};
    COLORREF colour = kArrowTeal;       // polygon colour
    std::string caption;                // "" = none
    COLORREF captionColour = kArrowWhite;
};

// Finds the size of an image file; false when it cannot be loaded.
using ImageSizeFunction = std::function<bool(const std::string& path, int32_t* width, int32_t* height)>;

class CustomerUI {
public:
    CustomerUI();
    ~CustomerUI();
    CustomerUI(const CustomerUI&) = delete;
    CustomerUI& operator=(const CustomerUI&) = delete;

    // --- The window ------------------------------------------------------
    // The window attaches itself when it is created (null detaches). The
    // metrics measure the screen's fonts; both stay owned by the window.
    void AttachWindow(CustomerUIWindow* window, const TextMetrics* metrics);
    bool WindowExists() const;
    bool IsVisible() const;
    // Shows or hides the window; showing arms the script-end watch.
    void ShowWindow(bool show);
    // Window size and layout from the desktop's client size and combo 1351's
    // height; the chosen placement for the window to apply.
    WindowPlacement OnInitDialog(int32_t desktopWidth, int32_t desktopHeight, int32_t comboHeight);
    void SetToolbarAccess(const ToolbarAccess& toolbar);

    // --- States and the hand-back -----------------------------------------
    int32_t GetState() const { return m_nState.load(); }
    bool SetState(int32_t state, CString& error);
    // Blocks until the event is set, then gives the event's name. The screen
    // commands call it on the script thread.
    void WaitForEvent(CString* eventName);
    // True when the event is set (and consumes it); for tests and pollers.
    bool WaitForEvent(CString* eventName, uint32_t timeoutMs);
    CString GetEventName() const;
    // Names the event and sets it (`reset` first clears a stale signal).
    void HandBack(const char* name, bool reset);
    // The end-of-run hook of the script chooser: timers, event and state reset.
    void OnScriptEnded();

    // Starts a customer script in interpreter instance 1. `started` (when
    // given) tells whether a run was started: true is also returned when the
    // file is missing or has no code, and nothing runs then.
    bool StartScript(const char* path, CString& error, bool* started = nullptr);
    void ResetForNewScript();
    bool ClearInputs();
    void LogAction(const char* action, int32_t state, const char* info) const;

    // Esc and Enter. Returns true when the key is swallowed.
    bool OnKey(int key);

    // --- Input (user-interface thread) ------------------------------------
    void OnLButtonDown(Point point);
    void OnLButtonUp(Point point);
    void OnMouseMove(Point point, bool leftButtonDown);
    void OnNextClicked();
    bool ValidateLogin(CString& error) const;
    bool OnBrowseClicked(Point point);
    bool ShowMessage(const char* text, int32_t seconds);
    // A message from the script thread, shown by timer 1007.
    void ShowMessageDeferred(const char* text, int32_t seconds);

    // Exposure panel of the video screen.
    void FillExposureCombo(int combo);
    void LoadImageTypeSettings();
    void UpdateExposureComboVisibility(int combo);
    // Applies the combo's text; the applied value ("OFF" or the exposure), or
    // "" when nothing was applied, goes to `applied` when given.
    void ApplyExposure(int combo, std::string* applied);
    void OnCbnCloseupCombo(int combo);
    void OnCbnEditchangeCombo(int combo);
    void OnBnClickedRadio(int radio);
    // Checks one radio button of the group first..last, as the window's
    // CheckRadioButton does: no click follows.
    void CheckRadioButton(int first, int last, int checked);

    // Timers: runs every timer due now (the window calls it often), or one.
    void RunDueTimers();
    void OnTimer(int id);
    TimerBank& Timers() { return m_timers; }
    void SetTimer(int id, uint32_t periodMs);
    void KillTimer(int id);

    // The pump watch: a later screen command gets "PumpStoppedMoving", the
    // time-out or the read error as its event.
    bool TriggerEventWhenPumpStopsMoving(int ipump, int timeout_sec, CString& error);

    // UTC system time as 100 ns units since 1601, divided by 10000: the
    // clock of the script timer.
    static int64_t SystemTimeMs();
    // The script timer (the timer commands): starts or continues it.
    void StartScriptTimer(uint32_t durationMs, bool countDown);
    // Stops timer 1008 and clears the running timer; the saved copy stays.
    void StopScriptTimer();
    // Restores the running timer from the saved copy (the time spent stopped
    // counts as elapsed) and restarts timer 1008.
    void ContinueScriptTimer();
    // Whole seconds remaining and elapsed; both 0 once the duration is exceeded.
    void GetTimerInfo(int32_t* remainingSec, int32_t* elapsedSec) const;

    // --- Content setters (script thread) ----------------------------------
    bool DefineGroupBox(const RECT& rect, COLORREF fill, COLORREF border, int32_t thickness, int32_t radius,
                        CString& error);
    bool SetImage(int32_t index, const char* name, CString& error);
    bool SetInput(int32_t index, const char* label, const char* defaultText, int32_t maxLength);
    bool SetCheckboxInput(int32_t index, const char* label, int32_t checked);
    bool SetNextImages(const char* normal, const char* hover, CString& error);
    bool SetBackImages(const char* normal, const char* hover, CString& error);
    // Changes content under its lock; the function must not call back into
    // this object.
    void EditContent(const std::function<void(CustomerUIContent&)>& change);

    // --- Controls ----------------------------------------------------------
    ControlState GetControl(int id) const;
    std::string GetControlText(int id) const;
    // The window reports what the operator typed or checked.
    void SetControlText(int id, const std::string& text);
    void SetControlChecked(int id, bool checked);
    void ShowControl(int id, bool show);
    void MoveControl(int id, const RECT& rect);
    void ShowEditControls(int a, int b, int c);
    void HideStateControls();
    void HideInputEdits();

    // --- Painting ------------------------------------------------------------
    CustomerUISnapshot Snapshot() const;
    // Places one arrow for this paint and stores its rectangle and look.
    ArrowPlan PlanArrow(bool next, const RECT& client, bool hover, const std::string& caption,
                        const ImageSizeFunction& imageSize);
    // The paint is done for the current state.
    void SetPaintedState(int32_t state);
    int32_t GetPaintedState() const { return m_nPaintedState.load(); }

    // --- The flow split line -------------------------------------------------
    // Sets the split value when it lies within the script's range.
    bool SetFlowSplit(int isplit);
    // Recomputes the split value text from the line's current row (any thread).
    void UpdateFlowSplitText(bool redraw);
    // Follows a drag of the line; `finished` on the button's release.
    void MoveSplitLine(int y, bool finished);
    std::string GetSplitPercent() const;

    // --- Shared with other threads -----------------------------------------
    // Live video: the panel and zoom area the render thread draws into.
    RECT GetVideoRect() const;
    std::atomic<int32_t> m_nLiveImageType{-1};
    std::atomic<uint64_t> m_ftLiveStopRequest{0};
    std::array<Tovanix::IntensityControl, 3> m_IntensityControls;
    // The intensity control of the checked radio (0..2).
    int ActiveIntensityControl() const;
    // On the video screen, before any image type was chosen: takes the one
    // the main window's toolbar shows (0 without a toolbar) and checks its radio.
    void ChooseInitialLiveImageType();

    const int32_t m_nMaxInputIndex = 5;
    const int32_t m_nBottomMargin = 40;

    // Asks the window to repaint an area (null: all of it); any thread.
    void Invalidate(const RECT* rect, bool erase);

private:
    uint64_t NowMs() const;
    void ControlsChanged();
    void EndWait(const char* name);  // Next and Back: kill timers, reset, name, set
    void KillWaitTimers();
    void OnPumpWatchTick();
    void OnScriptTimerTick();
    void OnScriptEndWatchTick();
    bool LiveViewRunning() const;
    bool SetArrowImages(bool next, const char* normal, const char* hover, CString& error);
    RECT ClientRect() const;
    // Whether a press at the point starts a drag of the split line.
    bool SplitHitTest(Point point) const;
    // A new script starts with the line in the middle of the channel.
    void ResetSplitLine();

    // State.
    std::atomic<int32_t> m_nState{0};
    std::atomic<int32_t> m_nPaintedState{-1};

    // Hand-back.
    platform::Event m_hEvent{false, false};
    mutable std::mutex m_csEvent;
    std::string m_strEvent;

    // Pump watch (user-interface thread and script thread).
    mutable std::mutex m_csPump;
    int32_t m_bPumpSeenMoving = 0;
    int32_t m_nWatchedPump = 0;
    int64_t m_tPumpWatchStart = 0;
    int32_t m_nPumpWatchTimeoutSec = 0;

    // Content.
    mutable std::mutex m_csContent;
    CustomerUIContent m_content;
    std::map<int, ControlState> m_controls;  // under m_csContent
    RECT m_rcTimer;                          // fixed by OnInitDialog

    // Split value text, written by the render thread.
    mutable std::mutex m_csSplit;
    std::string m_strSplitPercent;
    int32_t m_nSplitDragStartY = 0;  // user-interface thread

    mutable std::mutex m_csMessage;
    MessageLine m_message;

    mutable std::mutex m_csTimer;
    ScriptTimer m_timer;

    TimerBank m_timers;

    // Window.
    mutable std::mutex m_csWindow;
    CustomerUIWindow* m_window = nullptr;
    const TextMetrics* m_metrics = nullptr;
    std::atomic<bool> m_bVisible{false};
    ToolbarAccess m_toolbar;
};

}  // namespace customer_ui

using customer_ui::CustomerUI;

// The one run screen of the program.
extern CustomerUI g_CustomerUI;
// Background colour of the run screen; a script command may change it.
extern std::atomic<COLORREF> g_CustomerUIBackgroundColor;
