// The run screen's experiment and analysis commands: the cartridge offset,
// a new experiment, the settings backup, the reference images of a recorded
// experiment, the channel and fused image checks, an analysis of a recorded
// experiment (video, montage, fractionation) and its report screen, and the
// check of an experiment settings file. The analyses run synchronously on
// the script's thread.

#include <cstdio>
#include <exception>
#include <string>

#include <opencv2/core.hpp>

#include "analysis/ExperimentFolder.h"
#include "analysis/ExperimentVideo.h"
#include "analysis/FractionationPipeline.h"
#include "analysis/MontagePipeline.h"
#include "app/CartridgeTypes.h"
#include "app/ExperimentSettingsIni.h"
#include "app/VelloraApp.h"
#include "imaging/ExperimentFolders.h"
#include "operator/CustomerUICommandFrame.h"
#include "operator/CustomerUICommands.h"
#include "operator/ScriptsConsole.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "support/AppLogs.h"
#include "support/String.h"

using namespace customer_ui;
using namespace customer_ui_commands;

namespace {

enum : int32_t {
    kGetCartridgeOffset = 183,
    kCreateExperiment = 184,
    kCreateINIBackup = 187,
    kGetImageFileForContrastAdjustment = 194,
    kFluoChannelCheck = 195,
    kFusedImageCheck = 196,
    kPromptForAnalysis = 198,
    kPromptForMontageAndFractionationReport = 200,
    kIsExperimentSettingFileValid = 201,
};

constexpr int32_t kStatePromptForInput = 8;
constexpr int32_t kStateImageChecks = 12;
constexpr int32_t kStateFusedImage = 13;
constexpr int32_t kStateMontageReport = 14;

std::string Join(const std::string& folder, const std::string& name) { return ScriptsConsole::JoinFolder(folder, name); }

// Puts a file into an image slot (1..6) with its caption; a missing file
// keeps the slot's previous image.
void SetImageWithCaption(int32_t slot, const std::string& file, const char* caption) {
    CString ignored;
    g_CustomerUI.SetImage(slot, file.c_str(), ignored);
    g_CustomerUI.EditContent([&](CustomerUIContent& c) {
        if (c.m_vecImageCaptions.size() < static_cast<size_t>(slot)) c.m_vecImageCaptions.resize(static_cast<size_t>(slot));
        c.m_vecImageCaptions[static_cast<size_t>(slot - 1)] = caption;
    });
}

bool CheckState(int box) { return g_CustomerUI.GetControl(IDC_CHECK1 + box).checked; }

bool GetCartridgeOffset(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kGetCartridgeOffset, error)) return false;
    Arguments args(text, variables, error);
    std::string ignoredText;
    int ignored = 0;
    Variable* result = nullptr;
    if (!args.Open() || !args.String(ignoredText) || !args.Int(ignored, &result)) return false;
    if (check_only) return true;
    int offset = 0;
    if (!GetCartridgeTypeOffsetIntValues(g_IniPath, theApp.m_strCartridgeTypeCode.c_str(), &offset, error))
        return false;
    StoreInt(result, offset);
    return true;
}

bool CreateExperiment(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kCreateExperiment, error)) return false;
    Arguments args(text, variables, error);
    std::string name, ignored;
    Variable* result = nullptr;
    if (!args.Open() || !args.String(name) || !args.String(ignored, &result)) return false;
    if (check_only) return true;
    CString refusal;
    CreateNewExperiment(Tovanix::String(name.c_str()), refusal);
    StoreString(result, refusal.str());
    return true;
}

bool CreateINIBackup(Script& script, const char* text, Variables&, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kCreateINIBackup, error)) return false;
    const char* cursor = text;
    if (!OpenArgumentList(cursor, error)) return false;
    if (check_only) return true;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[64];
    std::snprintf(name, sizeof name, "Vellora.ini.%d%02d%02d-%02d%02d-%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string folder = Join(theApp.m_strDataRoot.str(), "Backup");
    Tovanix::CreateDirectoryTree(folder.c_str());
    const std::string target = Join(folder, name);
    // The script goes on either way; a lost backup is at least logged.
    if (!platform::CopyFileAtomically(g_IniPath.str(), target, true)) {
        LogErrAndInfo("CustomerUI", __LINE__,
                      ("CustomerUI_CreateINIBackup() - unable to copy " + g_IniPath.str() + " -> " + target).c_str());
    }
    return true;
}

bool GetImageFileForContrastAdjustment(Script& script, const char* text, Variables& variables, bool check_only,
                                       CString& error) {
    if (!RequireCustomerInstance(script, kGetImageFileForContrastAdjustment, error)) return false;
    Arguments args(text, variables, error);
    std::string folder, ignored;
    Variable* files[3] = {};
    Variable* problem = nullptr;
    if (!args.Open() || !args.String(folder) || !args.String(ignored, &files[0]) || !args.String(ignored, &files[1]) ||
        !args.String(ignored, &files[2]) || !args.String(ignored, &problem))
        return false;
    if (check_only) return true;
    std::string message;
    try {
        ExperimentDataSet data;
        const bool opened = OpenExperimentFolder(data, folder);
        const bool parsed = ParseCaptureLog(data, data.captureLogPath);
        std::string found[3];
        const bool gotFiles = GetReferenceFrameImageFiles(data, found[0], found[1], found[2]);
        for (int i = 0; i < 3; ++i) StoreString(files[i], found[i]);
        if (!(opened && parsed && gotFiles)) message = "Not a valid experiment.";
    } catch (const std::exception&) {
        message = "Not a valid experiment.";
    }
    StoreString(problem, message);
    return true;
}

bool FluoChannelCheck(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kFluoChannelCheck, error)) return false;
    Arguments args(text, variables, error);
    std::string label1, green, label2, red, ignored;
    int greenChecked = 0, redChecked = 0;
    Variable* event = nullptr;
    Variable* greenResult = nullptr;
    Variable* redResult = nullptr;
    if (!args.Open() || !args.String(label1) || !args.String(green) || !args.String(label2) || !args.String(red) ||
        !args.String(ignored, &event) || !args.Int(greenChecked, &greenResult) || !args.Int(redChecked, &redResult))
        return false;
    if (check_only) return true;
    if (green.empty() && red.empty()) {
        StoreString(event, "Next");
        return true;
    }
    int greenBox = -1, redBox = -1;
    if (!green.empty() && red.empty()) {
        SetImageWithCaption(1, green, "green");
        g_CustomerUI.SetCheckboxInput(0, label1.c_str(), greenChecked);
        greenBox = 0;
    } else if (green.empty()) {
        SetImageWithCaption(1, red, "red");
        g_CustomerUI.SetCheckboxInput(0, label2.c_str(), redChecked);
        redBox = 0;
    } else {
        SetImageWithCaption(4, green, "green");
        SetImageWithCaption(5, red, "red");
        g_CustomerUI.SetCheckboxInput(0, label1.c_str(), greenChecked);
        g_CustomerUI.SetCheckboxInput(1, label2.c_str(), redChecked);
        greenBox = 0;
        redBox = 1;
    }
    StoreString(event, ShowStateAndWait(kStateImageChecks));
    StoreInt(greenResult, greenBox >= 0 && CheckState(greenBox) ? 1 : 0);
    StoreInt(redResult, redBox >= 0 && CheckState(redBox) ? 1 : 0);
    return true;
}

bool FusedImageCheck(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kFusedImageCheck, error)) return false;
    Arguments args(text, variables, error);
    std::string grey, green, red, ignored;
    Variable* event = nullptr;
    if (!args.Open() || !args.String(grey) || !args.String(green) || !args.String(red) || !args.String(ignored, &event))
        return false;
    if (check_only) return true;
    if (green.empty() && red.empty()) {
        StoreString(event, "Next");
        return true;
    }
    SetImageWithCaption(1, grey, "grey");
    SetImageWithCaption(4, green, "green");
    SetImageWithCaption(5, red, "red");
    StoreString(event, ShowStateAndWait(kStateFusedImage));
    return true;
}

bool PromptForAnalysis(Script& script, const char* text, Variables& variables, bool check_only, CString& error) {
    if (!RequireCustomerInstance(script, kPromptForAnalysis, error)) return false;
    Arguments args(text, variables, error);
    std::string folder, subfolder, baseName, ignoredText;
    int kind = 0, flag1 = 0, flag2 = 0;
    double top = 0.0, bottom = 0.0;
    Variable* topResult = nullptr;
    Variable* bottomResult = nullptr;
    Variable* event = nullptr;
    if (!args.Open() || !args.String(folder) || !args.String(subfolder) || !args.Int(kind) || !args.Int(flag1) ||
        !args.Int(flag2) || !args.String(baseName) || !args.Double(top, &topResult) ||
        !args.Double(bottom, &bottomResult) || !args.String(ignoredText, &event))
        return false;
    if (check_only) return true;

    CString ignored;
    g_CustomerUI.SetState(kStatePromptForInput, ignored);
    const std::string analysisFolder = Join(folder, subfolder);
    if (!Tovanix::CreateDirectoryTree(analysisFolder.c_str())) {
        error.Format("Unable to create analysis directory: %s", analysisFolder.c_str());
        return false;
    }
    const std::string output = Join(subfolder, baseName);
    std::string problem;
    bool ok = true;
    switch (kind) {
        case 0:
            ok = CreateExperimentVideo(nullptr, folder, flag1 != 0, flag2 != 0, 0, output, &problem);
            break;
        case 1:
            ok = CreateMontage(nullptr, folder, flag1 != 0, flag2 != 0, output, &problem);
            break;
        case 2:
            ok = CreateMontage(nullptr, folder, flag1 != 0, flag2 != 0, output, &problem) &&
                 FractionationAnalysis(nullptr, folder, output, top, bottom, &problem);
            break;
        default:
            Sleep(5000);
            break;
    }
    StoreDouble(topResult, top);
    StoreDouble(bottomResult, bottom);
    StoreString(event, "Next");
    if (!ok) {
        error = problem.c_str();
        return false;
    }
    return true;
}

// "%ld%" of the rounded percentage; two characters get a leading blank.
std::string FractionText(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld%%", static_cast<long>(fraction * 100.0 + 0.5));
    std::string result = text;
    if (result.size() == 2) result = " " + result;
    return result;
}

bool PromptForMontageAndFractionationReport(Script& script, const char* text, Variables& variables, bool check_only,
                                            CString& error) {
    if (!RequireCustomerInstance(script, kPromptForMontageAndFractionationReport, error)) return false;
    Arguments args(text, variables, error);
    std::string folder, name, ignored;
    int mode = 0;
    double top = 0.0, bottom = 0.0;
    Variable* event = nullptr;
    if (!args.Open() || !args.String(folder) || !args.String(name) || !args.Int(mode) || !args.Double(top) ||
        !args.Double(bottom) || !args.String(ignored, &event))
        return false;
    if (check_only) return true;
    if (mode != 0) {
        CString ignoredError;
        g_CustomerUI.SetImage(6, (Join(folder, name) + ".small.png").c_str(), ignoredError);
    }
    if (mode == 2) {
        g_CustomerUI.SetInput(0, ("Top Fraction:  " + FractionText(top)).c_str(), "", 1);
        g_CustomerUI.SetInput(1, ("Bottom Fraction:  " + FractionText(bottom)).c_str(), "", 1);
    }
    StoreString(event, ShowStateAndWait(kStateMontageReport));
    return true;
}

bool IsExperimentSettingFileValid(Script& script, const char* text, Variables& variables, bool check_only,
                                  CString& error) {
    if (!RequireCustomerInstance(script, kIsExperimentSettingFileValid, error)) return false;
    Arguments args(text, variables, error);
    std::string folder;
    int ignored = 0;
    Variable* result = nullptr;
    if (!args.Open() || !args.String(folder) || !args.Int(ignored, &result)) return false;
    if (check_only) return true;
    const Tovanix::String path = FindExperimentSettingsIni(Tovanix::String(folder.c_str()));
    StoreInt(result, IsIniValid(CString(path.c_str()), false) ? 1 : 0);
    return true;
}

}  // namespace

void InstallCustomerUIExperimentCommands() {
    SetBuiltInMemberHandler(kGetCartridgeOffset, &GetCartridgeOffset);
    SetBuiltInMemberHandler(kCreateExperiment, &CreateExperiment);
    SetBuiltInMemberHandler(kCreateINIBackup, &CreateINIBackup);
    SetBuiltInMemberHandler(kGetImageFileForContrastAdjustment, &GetImageFileForContrastAdjustment);
    SetBuiltInMemberHandler(kFluoChannelCheck, &FluoChannelCheck);
    SetBuiltInMemberHandler(kFusedImageCheck, &FusedImageCheck);
    SetBuiltInMemberHandler(kPromptForAnalysis, &PromptForAnalysis);
    SetBuiltInMemberHandler(kPromptForMontageAndFractionationReport, &PromptForMontageAndFractionationReport);
    SetBuiltInMemberHandler(kIsExperimentSettingFileValid, &IsExperimentSettingFileValid);
}
