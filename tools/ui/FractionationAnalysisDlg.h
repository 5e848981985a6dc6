#pragma once

// The fractionation analysis window: an image folder with its capture log
// and experiment settings, a projection set, a region of interest and
// background images chosen on the image grid; Run starts the fractionation
// run on the window's worker and opens its report. While visible it lends
// the folder's channel and magnet rows and its projection set to the image
// views. Settings in [FractionationAnalysisDlg] of the main settings file.
//
// Timers: 1000 saves the settings, 1001 refills the file list, 1002 reloads
// the capture log, 1003 makes the chosen ROI the active one, 1004 reads the
// folder's rows.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tools/FractionationTool.h"
#include "tools/LogFileData.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/ToolWindow.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class FractionationAnalysisDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit FractionationAnalysisDlg(QWidget* parent = nullptr);
    ~FractionationAnalysisDlg() override;

    void LoadSettings();
    bool SaveSettings();
    bool LoadCalibrationValues();
    bool StoreCalibrationValue(const std::string& key, int32_t row);
    bool GetProjectionParams(ProjectionAnalysisParams& params, std::string& error) const;
    std::vector<std::string> GetSelectedImageFiles() const;
    // Reloads the capture log; false (reported) when it does not load.
    bool ReloadLog();
    // Applies the grid's outcome of a background choice.
    void SetBackgroundImages(const std::vector<std::string>& names);
    void OnBnClickedSelectBackgroundImages();
    // Checks the inputs and starts the run; false when refused.
    bool OnBnClickedRun();

    QComboBox* ParamsCombo() const { return m_params; }
    QComboBox* RoiCombo() const { return m_roi; }
    QPushButton* RoiManagerButton() const { return m_roiManager; }
    QCheckBox* BrightFieldBox() const { return m_brightField; }
    QPushButton* OpenLogButton() const { return m_openLog; }
    QPushButton* PreviewButton() const { return m_preview; }
    QPushButton* BackgroundButton() const { return m_background; }
    QLineEdit* BackgroundCountEdit() const { return m_bgCount; }
    const LogFileData& Log() const { return m_log; }
    ChannelMagnetRows Rows() const;
    const std::vector<std::string>& BackgroundImages() const { return m_backgrounds; }
    const std::string& LastReport() const { return m_lastReport; }

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FillParamsCombo();
    void FillRoiCombo();
    void InstallViewHooks();
    void RemoveViewHooks();

    ToolSettings m_settings;
    const bool m_brightFieldImages = true;  // a run always subtracts the image from the baseline
    FolderCalibrationRows m_rows;
    LogFileData m_log;
    std::vector<std::string> m_backgrounds;
    std::string m_lastReport;
    // What the render thread reads of the controls.
    mutable std::mutex m_viewMutex;
    std::string m_viewFolder;
    std::string m_viewSet;
    QComboBox* m_params = nullptr;
    QComboBox* m_roi = nullptr;
    QPushButton* m_roiManager = nullptr;
    QCheckBox* m_brightField = nullptr;
    QPushButton* m_background = nullptr;
    QLineEdit* m_bgCount = nullptr;
    QPushButton* m_openLog = nullptr;
    QPushButton* m_preview = nullptr;
    QPushButton* m_cancel = nullptr;
};

extern FractionationAnalysisDlg* g_FractionationAnalysisDlg;
