#pragma once

// The meniscus tool window: a folder, a filter and the chosen images; Run
// searches them on a worker and opens the meniscus report. Settings in
// [FindMeniscus] of the main settings file.
//
// Timers: 1000 saves the settings, 1001 refills the image list.

#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

class FindMeniscusDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit FindMeniscusDlg(QWidget* parent = nullptr);
    ~FindMeniscusDlg() override { DisconnectControls(); }

    void SaveSettings();
    // Starts the search; false when nothing is selected (the message was shown).
    bool OnBnClickedRun();

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;

private:
    ToolSettings m_settings;
};

extern FindMeniscusDlg* g_FindMeniscusDlg;
