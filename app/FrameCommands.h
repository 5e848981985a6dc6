#pragma once

// The main window's commands: their ids, a router that holds a handler and
// an enabling rule for each, and the rules themselves. Menus and toolbar
// buttons take their enabled and checked states from the rules; a command
// without a handler is disabled.

#include <functional>
#include <map>
#include <string>

namespace cmd {
// Application commands.
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_CLOSE = 57602;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int CaptureActiveImages = 32771;
constexpr int CameraSettings = 32776;
constexpr int ExperimentSettings = 32788;
constexpr int StartExperimentWorkflow = 32799;
constexpr int StopExperimentWorkflow = 32800;
constexpr int LiveImage = 32802;
constexpr int SingleWorkflowCapture = 32815;
constexpr int DioReset = 32818;
constexpr int CaptureBackgroundImages = 32834;
constexpr int UnloadBackgroundImages = 32835;
// Image view commands on the toolbar.
constexpr int AutoScaleIntensities = 32779;
constexpr int ScaleIntensities = 32773;
constexpr int ZoomIn = 32780;
constexpr int ZoomOut = 32781;
constexpr int FullScale = 32785;
// Image view commands of the File and Action menus.
constexpr int SaveAs = 57604;
constexpr int SaveImageToExperiment = 32790;
constexpr int SaveReferenceImage = 32837;
constexpr int ChannelAndMagnetPositions = 32839;
// The main window's own commands.
constexpr int AdminMode = 32822;
constexpr int CustomerUI = 32853;
constexpr int RunUserInterface = 32859;
constexpr int Manual = 32860;
constexpr int CloseLivePreview = 32861;
constexpr int SerialRecovery = 1364;
// Windows of the subsystems.
constexpr int SystemState = 32805;
constexpr int FluidicScripts = 32806;
constexpr int DioConfiguration = 32808;
constexpr int ControlPanel = 32811;
constexpr int PumpInformation = 32816;
constexpr int CountingAlgorithmParameters = 32797;
constexpr int ImageAnalysisTool = 32823;
constexpr int EpiCellCountingParameters = 32836;
constexpr int AlgoIterator = 32841;
constexpr int WatchScriptVariables = 32844;
constexpr int StageControlPanel = 32850;
constexpr int FocusTool = 32851;
constexpr int ProjectionAnalysisParameters = 32852;
constexpr int CustomerUIScripts = 32854;
constexpr int FlattenRows = 32856;
constexpr int EncryptedProfiles = 32858;
constexpr int ROIManager = 32862;
constexpr int FractionationAnalysisTool = 32865;
constexpr int CreateVideo = 32868;
constexpr int FindMeniscus = 32871;
constexpr int ProjectionAnalysisTool = 32872;
constexpr int Montage = 32876;
// The image-type box on the toolbar and the status bar panes.
constexpr int ImageTypeCombo = 32830;
constexpr int ImageTypePlaceholder = 32829;
constexpr int StatusPane1 = 32786;
constexpr int StatusPane2 = 32787;
}  // namespace cmd

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

class CommandRouter {
public:
    using Handler = std::function<void()>;
    using Rule = std::function<CommandState()>;

    // Installs (or replaces) the command's handler; an empty handler removes it.
    void SetHandler(int id, Handler handler);
    // Installs the command's rule; without one a handled command is enabled.
    void SetRule(int id, Rule rule);

    bool HasHandler(int id) const;
    // Runs the command's handler; false when it has none.
    bool Execute(int id) const;
    // The rule's state; disabled and unchecked while the command has no handler.
    CommandState State(int id) const;

private:
    std::map<int, Handler> m_handlers;
    std::map<int, Rule> m_rules;
};

// Installs the enabling rules of every command the main window carries.
void AddMainFrameRules(CommandRouter& router);

// The main window's own command handlers that need no window.
// 32853: shows the customer run screen (hides it when it is shown) and starts
// its default script unless its interpreter runs; a failure is logged.
void OnCustomerUI();
// 32859: starts the [CustomerUI] DefaultScript on the run screen, made but
// not shown; a failure is logged.
void OnRunUserInterface();
// 32860: opens the manual with its default application.
void OnManual();
// 32861: closes the live preview; the live image type is forgotten.
void OnCloseLivePreview();

// <data root>\Quillon-1.0_Manual.pdf.
std::string ManualPath();
// The script that the Customer UI command (32853) starts and the one that
// command 32859 starts ([CustomerUI] DefaultScript, "DefaultCustomerUI.scr"
// when empty), both in the Scripts folder of the customer run screen.
std::string CustomerUIScriptPath();
std::string DefaultCustomerScriptPath();
