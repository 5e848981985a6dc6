#pragma once

// The counting tool: the editor of counting parameter sets (load a set into
// the controls, notice unsaved changes, save under the typed name, keep the
// working state in the main settings file) and the bench that counts the
// cells of the active image view with the controls' values, draws them on
// the view and writes the report beside the image. It also previews its
// region of interest on every image view. Runs on the user-interface thread.
//
// Timers: 1000 run, 1001 save the working state, 1002 load the chosen set,
// 1003 the unsaved-change test, 1004 publish the region of interest.

#include <map>
#include <string>

#include "tools/CountingParamSet.h"
#include "tools/ui/ToolWindow.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QPushButton;
class ParamSetCombo;

class CountingAlgorithmDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit CountingAlgorithmDlg(QWidget* parent = nullptr);
    ~CountingAlgorithmDlg() override { DisconnectControls(); }

    // Puts a set file into the controls (a missing file gives every default).
    bool LoadParams(const std::string& path);
    // Writes the controls into the file, or the main settings file for an
    // empty path; false, writing nothing, while a set is being loaded.
    bool SaveParams(const std::string& path = std::string());
    // Enables Save exactly when the controls differ from the named set.
    void UpdateSaveButton();
    // Save: the controls under the typed name.
    void OnBnClickedSave();
    // The magnet rows of the main settings file into the magnet edits.
    void UpdateLowerMagnetDisplay();
    void UpdateUpperMagnetDisplay();
    // The region the user drew on an image view.
    void SetRoiEdits(int left, int top, int right, int bottom);
    // Counts the cells of the active image view.
    void process_image();
    // Done: asks about unsaved changes, clears the preview and hides.
    void OnBnClickedDone();

    CountingParamValues ControlValues() const;
    void SetControlValues(const CountingParamValues& values);
    ParamSetCombo* SetCombo() const { return m_setName; }
    QPushButton* SaveButton() const { return m_save; }
    QLineEdit* Edit(const char* key) const;
    QCheckBox* Box(const char* key) const;
    QCheckBox* AutoRunBox() const { return m_autoRun; }
    QCheckBox* CreateResultsBox() const { return m_createResults; }
    QCheckBox* OpenSummaryBox() const { return m_openSummary; }
    QLineEdit* UpperMagnetEdit() const { return m_upperMagnet; }
    QLineEdit* LowerMagnetEdit() const { return m_lowerMagnet; }

signals:
    // A run ended; `counted` tells whether detections reached the view.
    void processed(bool counted);

protected:
    void OnToolTimer(int id) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnParamChanged();
    void OnParamControlChanged();
    void OnEnChangeRoi();
    void Spin(const char* key, bool up);

    ParamSetCombo* m_setName = nullptr;
    QPushButton* m_save = nullptr;
    std::map<std::string, QLineEdit*> m_edits;
    std::map<std::string, QCheckBox*> m_boxes;
    QCheckBox* m_autoRun = nullptr;
    QCheckBox* m_createResults = nullptr;
    QCheckBox* m_openSummary = nullptr;
    QLineEdit* m_upperMagnet = nullptr;
    QLineEdit* m_lowerMagnet = nullptr;
    bool m_loading = false;
};

extern CountingAlgorithmDlg* g_CountingAlgorithmDlg;
