#include "tools/ui/ContrastDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>

#include <exception>

#include "analysis/ui/IntensityControlWidget.h"
#include "support/ui/DialogControls.h"
#include "tools/ContrastTool.h"
#include "tools/ui/ChannelCombo.h"

ContrastDlg* g_ContrastDlg = nullptr;

namespace {
const char* const kChannelLabels[4] = {"Brighfield", "Red", "Green", "Blue"};
const char* const kChannelKeys[4] = {"Brightfield", "Red", "Green", "Blue"};
constexpr Tovanix::ControlColour kMarkerColour{150, 150, 75};
}  // namespace

bool FillImageListBox(ToolWindow& window) { return window.FillFileListBox(); }

ContrastDlg::ContrastDlg(QWidget* parent) : ToolWindow("Contrast", parent), m_settings(MakeContrastSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    layout->addLayout(top);
    top->addWidget(MakeBrowseButton(1009), 0, 0);
    top->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    top->addWidget(new QLabel("Filter", this), 1, 0);
    top->addWidget(MakeFilterEdit(), 1, 1, 1, 2);
    top->setColumnStretch(1, 1);

    m_group = new QGroupBox(this);
    Tovanix::SetDlgCtrlID(m_group, 1400);
    auto* rows = new QGridLayout(m_group);
    for (int c = 0; c < 4; ++c) {
        m_channels[c] = new ChannelCombo(1389 + c, m_group);
        m_channels[c]->SetNameSource([this] { return m_imageTypeNames; });
        m_channels[c]->setMinimumWidth(110);
        m_histograms[c] = new Tovanix::IntensityControlWidget(m_group);
        m_histograms[c]->setMinimumHeight(48);
        m_histograms[c]->Control().m_marker_colour = kMarkerColour;
        m_histograms[c]->Control().m_hidden = true;
        m_histograms[c]->hide();
        rows->addWidget(new QLabel(kChannelLabels[c], m_group), c, 0);
        rows->addWidget(m_channels[c], c, 1);
        rows->addWidget(m_histograms[c], c, 2);
        rows->setRowMinimumHeight(c, 56);
    }
    rows->setColumnStretch(2, 1);
    layout->addWidget(m_group);
    layout->addWidget(MakeFileList(), 1);
    Tovanix::SetDlgCtrlID(FileList(), 1363);
    resize(560, 600);

    for (QLineEdit* edit : {FolderEdit(), FilterEdit()}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            RestartTimer(1000, 1000);
            RestartTimer(1001, 1000);
        });
    }
    for (ChannelCombo* combo : m_channels) {
        const auto changed = [this] {
            RestartTimer(1000, 1000);
            RestartTimer(1002, 1000);
        };
        connect(combo, &QComboBox::editTextChanged, this, changed);
        connect(combo, &ChannelCombo::closedUp, this, changed);
    }
    connect(FileList(), &QListWidget::itemSelectionChanged, this, [this] { RestartTimer(1002, 300); });
    connect(BrowseButton(), &QPushButton::clicked, this, [this] { BrowseForFolder("Select a directory with images..."); });

    LoadSettings();
}

void ContrastDlg::LoadSettings() {
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("ImageDirectory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    for (int c = 0; c < 4; ++c) m_channels[c]->SetText(m_settings.Get(kChannelKeys[c]));
    m_settings.SetLoading(false);
}

bool ContrastDlg::SaveSettings() {
    if (m_settings.Loading()) return false;
    m_settings.Set("ImageDirectory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    for (int c = 0; c < 4; ++c) m_settings.Set(kChannelKeys[c], m_channels[c]->Text());
    return m_settings.Save();
}

void ContrastDlg::CollectImageTypeNames() {
    m_imageTypeNames = ContrastImageTypeNamesOfFolder(FolderEdit()->text().toStdString());
}

bool ContrastDlg::LoadChannelImages() {
    for (auto* histogram : m_histograms) {
        histogram->Control().m_hidden = true;
        histogram->hide();
    }
    m_channelFiles = {};
    const QList<QListWidgetItem*> selected = FileList()->selectedItems();
    const std::string name = selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
    std::array<std::string, 4> types;
    for (int c = 0; c < 4; ++c) types[c] = m_channels[c]->Text();
    if (!BuildChannelFileNames(FolderEdit()->text().toStdString(), name, types, m_channelFiles)) return false;
    for (int c = 0; c < 4; ++c) {
        if (m_channelFiles[c].empty()) continue;
        cv::Mat image;
        try {
            image = cv::imread(m_channelFiles[c], cv::IMREAD_UNCHANGED);
        } catch (const std::exception&) {
        }
        if (image.empty()) continue;
        Tovanix::IntensityControl& control = m_histograms[c]->Control();
        control.m_hidden = false;
        CString ignored;
        control.SetHistogramFromImage(image, ignored);
        m_histograms[c]->show();
        m_histograms[c]->update();
    }
    return true;
}

bool ContrastDlg::SetLowerAndUpperIntensities(int channel, long lower, long upper) {
    if (!IsValidChannelRange(channel, lower, upper)) return false;
    Tovanix::IntensityControl& control = m_histograms[static_cast<size_t>(channel)]->Control();
    control.m_lower_intensity = static_cast<uint16_t>(lower);
    control.m_upper_intensity = static_cast<uint16_t>(upper);
    return true;
}

long ContrastDlg::LowerIntensity(int channel) const {
    return m_histograms[static_cast<size_t>(channel)]->Control().m_lower_intensity;
}

long ContrastDlg::UpperIntensity(int channel) const {
    return m_histograms[static_cast<size_t>(channel)]->Control().m_upper_intensity;
}

void ContrastDlg::OnToolTimer(int id) {
    if (id == 1000) SaveSettings();
    if (id == 1001) {
        FillImageListBox(*this);
        CollectImageTypeNames();
    }
    if (id == 1002) LoadChannelImages();
}

void ContrastDlg::resizeEvent(QResizeEvent* event) {
    ToolWindow::resizeEvent(event);
    RestartTimer(1002, 1000);
}
