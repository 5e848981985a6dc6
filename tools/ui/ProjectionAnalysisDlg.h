#pragma once

// The projection parameter editor: a set's five analysis values as typed,
// saved to the set's file; the set being edited is remembered in
// [ProjectionAnalysisTool]. While it is visible the image views draw their
// projection curves with its values; edits redraw them a second later.

#include <QDialog>

#include <atomic>
#include <map>
#include <mutex>

#include "tools/ProjectionParamEditor.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class ProjectionAnalysisDlg : public QDialog {
    Q_OBJECT
public:
    explicit ProjectionAnalysisDlg(QWidget* parent = nullptr);
    ~ProjectionAnalysisDlg() override;

    void LoadParams();
    void SaveParams(bool toMainSettings);
    bool GetParamsFromControls(ProjectionAnalysisParams& params) const;

    QComboBox* SetCombo() const { return m_set; }
    QLineEdit* SmoothingEdit() const { return m_smoothing; }
    QLineEdit* PeaksEdit() const { return m_peaks; }
    QLineEdit* AreaEdit() const { return m_area; }
    QLineEdit* SamplesEdit() const { return m_samples; }
    QCheckBox* ValleysBox() const { return m_valleys; }
    QLabel* PeaksLabel() const { return m_peaksLabel; }
    QPushButton* SaveButton() const { return m_save; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    ProjectionParamTexts Texts() const;
    // Keeps what the render thread reads: it never touches the controls.
    void UpdateViewTexts();
    void OnParamChanged();
    void UpdatePeaksLabel();
    QTimer* OneShot(int milliseconds, std::function<void()> action);

    bool m_loading = false;
    QComboBox* m_set = nullptr;
    QLineEdit* m_smoothing = nullptr;
    QLineEdit* m_peaks = nullptr;
    QLineEdit* m_area = nullptr;
    QLineEdit* m_samples = nullptr;
    QCheckBox* m_valleys = nullptr;
    QLabel* m_peaksLabel = nullptr;
    QPushButton* m_save = nullptr;
    QTimer* m_reloadTimer = nullptr;  // 1000
    QTimer* m_redrawTimer = nullptr;  // 1002
    std::atomic<bool> m_shown{false};
    mutable std::mutex m_viewMutex;
    ProjectionParamTexts m_viewTexts;
};

extern ProjectionAnalysisDlg* g_ProjectionAnalysisDlg;
