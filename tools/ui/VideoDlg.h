#pragma once

// The video window: a folder of captures, the chosen files, the video's
// name and frame rate, and either a grey-scale video of the chosen files or
// a colour video whose Brightfield, Red, Green and Blue channels take each
// capture's image of the type chosen for them, stretched from the channel's
// range. Preview shows the chosen files on the image grid. Contrast opens
// the contrast window with these ranges and copies its markers back.
// Settings in [VideoDlg] of the main settings file.
//
// Timers: 1000 refills the list and the type names; 1001 saves the settings;
// 1002 copies the contrast window's ranges.

#include <array>
#include <string>
#include <vector>

#include "tools/ToolFrame.h"
#include "tools/VideoTool.h"
#include "tools/ui/ToolWindow.h"

class ChannelCombo;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class VideoDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit VideoDlg(QWidget* parent = nullptr);
    ~VideoDlg() override { DisconnectControls(); }

    void LoadSettings();
    void SaveSettings();
    bool CollectImageTypeNames();
    // Checks the inputs and starts the video; false when refused or declined.
    bool OnBnClickedCreate();
    void OnBnClickedContrast();

    QPushButton* PreviewButton() const { return m_preview; }
    QLineEdit* VideoFileEdit() const { return m_videoFile; }
    QLineEdit* FpsEdit() const { return m_fps; }
    QCheckBox* MonochromeCheck() const { return m_monochrome; }
    QCheckBox* TrimCheck() const { return m_trim; }
    ChannelCombo* Channel(int channel) const { return m_channels[static_cast<size_t>(channel)]; }
    QLabel* RangeStatic(int channel) const { return m_ranges[static_cast<size_t>(channel)]; }
    const std::vector<std::string>& ImageTypeNames() const { return m_imageTypeNames; }
    // The request of the last Create.
    const VideoRequest& LastRequest() const { return m_request; }

protected:
    void OnToolTimer(int id) override;
    void SetInputsEnabled(bool enabled) override;

private:
    void CopyContrastRanges();

    ToolSettings m_settings;
    VideoRequest m_request;
    std::vector<std::string> m_imageTypeNames;
    QLineEdit* m_videoFile = nullptr;
    QLineEdit* m_fps = nullptr;
    QPushButton* m_preview = nullptr;
    QPushButton* m_contrast = nullptr;
    QCheckBox* m_monochrome = nullptr;
    QCheckBox* m_trim = nullptr;
    std::array<ChannelCombo*, 4> m_channels{};
    std::array<QLabel*, 4> m_ranges{};
};

extern VideoDlg* g_VideoDlg;
