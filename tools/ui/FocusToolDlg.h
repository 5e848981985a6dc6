#pragma once

// The focus tool window: a folder, a filter and the chosen images; Run
// scores them on a worker and opens the focus report. Settings in
// [FocusTool] of the main settings file, saved half a second after an edit.
//
// Timer 1000 refills the file list and saves the settings.

#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

class FocusToolDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit FocusToolDlg(QWidget* parent = nullptr);
    ~FocusToolDlg() override { DisconnectControls(); }

    void SaveSettings();
    // Starts the scoring; false when nothing is selected (the message was shown).
    bool OnBnClickedRun();

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;

private:
    ToolSettings m_settings;
};

extern FocusToolDlg* g_FocusToolDlg;
