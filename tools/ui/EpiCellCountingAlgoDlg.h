#pragma once

// The epifluorescence counting tool: the editor of ".epi_counting_params"
// sets (load, notice unsaved changes by the digest of the values, save) and
// the bench that counts the dark cells of the active image view with the
// edited values, drawing them (and optional debug pixels) on the view. It
// previews its region on every image view. Runs on the user-interface
// thread.
//
// Timers: 1001 run, 1002 load the chosen set, 1003 the change test, 1004
// publish the region.

#include <string>

#include "analysis/EpiCellCountingAlgo.h"
#include "tools/EpiCountingTool.h"
#include "tools/ui/ToolWindow.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class ParamSetCombo;

class EpiCellCountingAlgoDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit EpiCellCountingAlgoDlg(QWidget* parent = nullptr);
    ~EpiCellCountingAlgoDlg() override { DisconnectControls(); }

    bool LoadParamSet(std::string* error);
    // Saves the controls as the set of `name`, or of the list's text (which
    // then also becomes the main settings' ParamSetName) when empty.
    bool SaveParamSet(std::string* error, const std::string& name = std::string());
    void ParamsToControls();
    void ControlsToParams();
    // The change test; with `defer` it only restarts its timer.
    void UpdateSaveButton(bool defer);
    bool RunOnCurrentImage(std::string* error);
    void OnBnClickedSave();
    void OnCbnCloseupParamSet();
    void OnBnClickedCancel();

    const EpiCellCountingAlgoParams& Params() const { return m_params; }
    const std::string& CurrentSetName() const { return m_currentSetName; }
    ParamSetCombo* SetCombo() const { return m_setName; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* RunButtonOfTool() const { return m_runButton; }
    QLineEdit* Edit(int id) const;
    QCheckBox* BackgroundBox() const { return m_useBackground; }
    QCheckBox* DebugBox(int index) const { return m_debug[index]; }
    void SetRoiEdits(int left, int top, int right, int bottom);

signals:
    // A run ended; `counted` tells whether detections reached the view.
    void processed(bool counted);

protected:
    void OnToolTimer(int id) override;
    void showEvent(QShowEvent* event) override;

private:
    EpiControlTexts Texts() const;

    EpiCellCountingAlgoParams m_params;
    std::string m_currentSetName;
    bool m_loading = false;
    ParamSetCombo* m_setName = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_runButton = nullptr;
    QLineEdit* m_roi[4] = {};  // left, top, right, bottom
    QLineEdit* m_values[5] = {};  // dark 0, dark 1, min pixel count, min size, max ratio
    QCheckBox* m_useBackground = nullptr;
    QCheckBox* m_debug[3] = {};
};

extern EpiCellCountingAlgoDlg* g_EpiCellCountingAlgoDlg;
