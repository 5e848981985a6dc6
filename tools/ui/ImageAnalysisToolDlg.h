#pragma once

// The batch image analysis window: a folder of captured images and some of
// its files, a circular and/or an epifluorescence counting set, optionally
// an LP curve with its gadolinium concentration; Run checks them and runs
// the batch engine on the window's worker thread. Settings in
// [ImageAnalysisTool] of the main settings file.
//
// Timers: 1000 saves the settings, 1001 refills the file list, 1002 looks
// for the acquisition's settings file beside the folder.

#include <atomic>
#include <string>

#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class ParamSetCombo;

class ImageAnalysisToolDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit ImageAnalysisToolDlg(QWidget* parent = nullptr);
    ~ImageAnalysisToolDlg() override { DisconnectControls(); }

    void LoadSettings();
    void SaveSettings();
    // Run enabled exactly when a circular or an epi set is named.
    void UpdateRunButton();
    // Checks the inputs and starts the run; false when refused.
    bool OnBnClickedRun();

    ParamSetCombo* CircleCombo() const { return m_circle; }
    ParamSetCombo* EpiCombo() const { return m_epi; }
    ParamSetCombo* LPCurveCombo() const { return m_lpCurve; }
    QLineEdit* GdConcEdit() const { return m_gdConc; }
    QCheckBox* OpenSummaryBox() const { return m_openSummary; }
    QCheckBox* UseAcquisitionSettingsBox() const { return m_useAcquisition; }
    const std::string& AcquisitionSettingsPath() const { return m_acquisitionSettings; }

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnListChanged() { RestartTimer(1000, 1000); }

    ToolSettings m_settings;
    ParamSetCombo* m_circle = nullptr;
    ParamSetCombo* m_epi = nullptr;
    ParamSetCombo* m_lpCurve = nullptr;
    QPushButton* m_editButtons[3] = {};
    QLineEdit* m_gdConc = nullptr;
    QCheckBox* m_useAcquisition = nullptr;
    QCheckBox* m_openSummary = nullptr;
    std::string m_acquisitionSettings;
    std::atomic<bool> m_openSummaryChecked{false};  // read by the run's thread at its end
};

extern ImageAnalysisToolDlg* g_ImageAnalysisToolDlg;
