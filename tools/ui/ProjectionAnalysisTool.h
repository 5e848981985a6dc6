#pragma once

// The projection analysis window: an image folder and filter, a projection
// parameter set, a named ROI, an LP curve with its Gd concentration and
// background images chosen on the image grid; Run checks them and starts the
// projection batch run on the window's worker. While visible it lends the
// folder's channel and magnet rows to the image views and keeps the rows the
// user places in the folder's settings file. Settings in
// [ProjectionAnalysisTool] of the main settings file.
//
// Timers: 1000 saves the settings, 1001 refills the file list, 1002 makes
// the chosen ROI the active one, 1003 reads the folder's rows.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "analysis/LPCurveParams.h"
#include "analysis/ProjectionAnalysisParams.h"
#include "tools/FolderCalibration.h"
#include "tools/ProjectionRun.h"
#include "tools/ui/ToolWindow.h"

class ParamSetCombo;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class ProjectionAnalysisTool : public ToolWindow {
    Q_OBJECT
public:
    explicit ProjectionAnalysisTool(QWidget* parent = nullptr);
    ~ProjectionAnalysisTool() override;

    void LoadSettings();
    bool SaveSettings();
    bool LoadCalibrationValues();
    bool StoreCalibrationValue(const std::string& name, int32_t value);
    void DisableControls();
    void EnableControls();

    // Applies the grid's outcome of a background choice.
    void SetBackgroundImages(const std::vector<std::string>& names);
    void OnBnClickedSelectBackgroundImages();
    // The run's inputs as the controls hold them now.
    ProjectionRunRequest BuildRunRequest() const;
    // Checks the inputs and starts the run; false when refused.
    bool OnBnClickedRun();

    ParamSetCombo* ParamsCombo() const { return m_paramSet; }
    QComboBox* RoiCombo() const { return m_roi; }
    ParamSetCombo* LPCurveCombo() const { return m_lpCurve; }
    QLineEdit* GdEdit() const { return m_gd; }
    QCheckBox* OpenSummaryBox() const { return m_openSummary; }
    QPushButton* ParamsEditorButton() const { return m_editParams; }
    QPushButton* RoiManagerButton() const { return m_roiManager; }
    QPushButton* LPCurveButton() const { return m_openLPCurve; }
    QPushButton* PreviewButton() const { return m_preview; }
    QPushButton* BackgroundButton() const { return m_background; }
    QLineEdit* BackgroundCountEdit() const { return m_bgCount; }
    ChannelMagnetRows Rows() const;
    const std::vector<std::string>& BackgroundImages() const { return m_backgrounds; }
    // The outcome of the last run that ended, empty before one.
    const ProjectionRunResult& LastResult() const { return m_lastResult; }

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void InstallViewHooks();
    void RemoveViewHooks();
    void ShowRunMessage(const ProjectionRunMessage& message) const;

    ToolSettings m_settings;
    bool m_saving = false;
    FolderCalibrationRows m_rows;
    std::vector<std::string> m_backgrounds;
    // Loaded by Run and kept after it: the run's ROI, scale and baseline.
    ProjectionAnalysisParams m_runParams;
    LPCurveParams m_runLPCurve;
    ProjectionRunResult m_lastResult;
    ParamSetCombo* m_paramSet = nullptr;
    QPushButton* m_editParams = nullptr;
    QComboBox* m_roi = nullptr;
    QPushButton* m_roiManager = nullptr;
    ParamSetCombo* m_lpCurve = nullptr;
    QPushButton* m_openLPCurve = nullptr;
    QLineEdit* m_gd = nullptr;
    QCheckBox* m_openSummary = nullptr;
    QPushButton* m_preview = nullptr;
    QPushButton* m_background = nullptr;
    QLineEdit* m_bgCount = nullptr;
};

extern ProjectionAnalysisTool* g_ProjectionAnalysisTool;
