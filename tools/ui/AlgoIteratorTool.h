#pragma once

// The parameter sweep window: a counting parameter set, the option to vary
// with its start, stop and step, and the images of a folder; Run sweeps on a
// worker thread and opens the log. Settings in [AlgoIteratorTool] of the
// main settings file, saved a second after the last edit.
//
// Timers: 1000 refills the file list, 1001 saves the settings.

#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class ParamSetCombo;

class AlgoIteratorTool : public ToolWindow {
    Q_OBJECT
public:
    explicit AlgoIteratorTool(QWidget* parent = nullptr);
    ~AlgoIteratorTool() override { DisconnectControls(); }

    void LoadSettings();
    void SaveSettings();
    // Checks the inputs and starts the sweep; false when refused (the
    // problems were shown).
    bool OnBnClickedRun();

    ParamSetCombo* SetCombo() const { return m_setName; }
    QComboBox* ParamCombo() const { return m_param; }
    QLineEdit* StartEdit() const { return m_start; }
    QLineEdit* StopEdit() const { return m_stop; }
    QLineEdit* StepEdit() const { return m_step; }

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;

private:
    void OnSettingChanged() { RestartTimer(1001, 1000); }
    void OnDirectoryOrFilterChanged();

    ToolSettings m_settings;
    ParamSetCombo* m_setName = nullptr;
    QPushButton* m_editParams = nullptr;
    QComboBox* m_param = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_stop = nullptr;
    QLineEdit* m_step = nullptr;
};

extern AlgoIteratorTool* g_AlgoIteratorTool;
