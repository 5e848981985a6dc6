#pragma once

// The four-channel contrast window: a folder of captures, its files and the
// image-type names found in them; each of the Brightfield, Red, Green and
// Blue channels is bound to a type, and selecting a file shows the
// histogram of that capture's image of each channel with a lower and an
// upper marker to drag. The video tool opens it and reads the markers back.
// Settings in [ContrastDlg] of the main settings file.
//
// Timers: 1000 saves the settings; 1001 refills the list and the type names;
// 1002 loads the channel images.

#include <array>
#include <string>
#include <vector>

#include "tools/ToolFrame.h"
#include "tools/ui/ToolWindow.h"

class ChannelCombo;
class QGroupBox;
namespace Tovanix {
class IntensityControlWidget;
}

// Fills the window's image list (id 1363) from its folder and filter, as
// FillFileListBox does; the contrast and meniscus tools share it.
bool FillImageListBox(ToolWindow& window);

class ContrastDlg : public ToolWindow {
    Q_OBJECT
public:
    explicit ContrastDlg(QWidget* parent = nullptr);
    ~ContrastDlg() override { DisconnectControls(); }

    void LoadSettings();
    bool SaveSettings();
    void CollectImageTypeNames();
    bool LoadChannelImages();
    // Sets channel's markers; false, changing nothing, for a channel outside
    // 0..3 or a range that is not 0 <= lower < upper <= 65535.
    bool SetLowerAndUpperIntensities(int channel, long lower, long upper);

    ChannelCombo* Channel(int channel) const { return m_channels[static_cast<size_t>(channel)]; }
    Tovanix::IntensityControlWidget* Histogram(int channel) const { return m_histograms[static_cast<size_t>(channel)]; }
    long LowerIntensity(int channel) const;
    long UpperIntensity(int channel) const;
    const std::vector<std::string>& ImageTypeNames() const { return m_imageTypeNames; }
    const std::array<std::string, 4>& ChannelFiles() const { return m_channelFiles; }

protected:
    void OnToolTimer(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ToolSettings m_settings;
    std::vector<std::string> m_imageTypeNames;
    std::array<ChannelCombo*, 4> m_channels{};
    std::array<Tovanix::IntensityControlWidget*, 4> m_histograms{};
    std::array<std::string, 4> m_channelFiles;
    QGroupBox* m_group = nullptr;
};

extern ContrastDlg* g_ContrastDlg;
