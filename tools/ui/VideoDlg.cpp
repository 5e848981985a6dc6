#include "tools/ui/VideoDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "app/ExperimentSettingsIni.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/ui/DialogControls.h"
#include "tools/ui/ChannelCombo.h"
#include "tools/ui/ContrastDlg.h"
#include "tools/ui/ImageSelectionDlg.h"

VideoDlg* g_VideoDlg = nullptr;

namespace {
const char* const kChannelLabels[4] = {"Brighfield", "Red", "Green", "Blue"};
const char* const kChannelKeys[4] = {"Brightfield", "Red", "Green", "Blue"};

void Refuse(const std::string& message, unsigned icon) {
    LogErrAndInfo("VideoDlg", __LINE__, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | icon);
}
}  // namespace

VideoDlg::VideoDlg(QWidget* parent) : ToolWindow("Video", parent), m_settings(MakeVideoSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(new QLabel("Images Directory", this), 0, 0);
    grid->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    grid->addWidget(MakeBrowseButton(1332), 0, 3);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    grid->addWidget(MakeFilterEdit(), 1, 1, 1, 3);
    m_videoFile = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_videoFile, 1219);
    grid->addWidget(new QLabel("Video file", this), 2, 0);
    grid->addWidget(m_videoFile, 2, 1, 1, 3);
    m_fps = new QLineEdit(this);
    m_fps->setMaximumWidth(60);
    Tovanix::SetDlgCtrlID(m_fps, 1388);
    grid->addWidget(new QLabel("fps", this), 3, 0);
    grid->addWidget(m_fps, 3, 1);
    m_monochrome = new QCheckBox("Monochrome", this);
    Tovanix::SetDlgCtrlID(m_monochrome, 1394);
    grid->addWidget(m_monochrome, 3, 2);
    grid->setColumnStretch(2, 1);

    auto* group = new QGroupBox(" RGB associations ", this);
    auto* rows = new QGridLayout(group);
    for (int c = 0; c < 4; ++c) {
        m_channels[c] = new ChannelCombo(1389 + c, group);
        m_channels[c]->SetNameSource([this] { return m_imageTypeNames; });
        m_ranges[c] = new QLabel(group);
        m_ranges[c]->setMinimumWidth(90);
        Tovanix::SetDlgCtrlID(m_ranges[c], 1401 + c);
        rows->addWidget(new QLabel(kChannelLabels[c], group), c, 0);
        rows->addWidget(m_channels[c], c, 1);
        rows->addWidget(m_ranges[c], c, 2);
    }
    rows->setColumnStretch(1, 1);
    m_contrast = new QPushButton("Contrast", group);
    m_contrast->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_contrast, 1399);
    rows->addWidget(m_contrast, 4, 2);
    layout->addWidget(group);
    m_trim = new QCheckBox("Trim to customer view", this);
    m_trim->setEnabled(false);
    Tovanix::SetDlgCtrlID(m_trim, 1405);
    layout->addWidget(m_trim);
    layout->addWidget(MakeFileList(), 1);
    layout->addWidget(MakeStatusLine());
    auto* buttons = new QHBoxLayout;
    // Preview stays usable while a video is made.
    m_preview = new QPushButton("Preview", this);
    m_preview->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_preview, 1398);
    buttons->addWidget(m_preview);
    buttons->addStretch(1);
    buttons->addWidget(MakeRunButton());
    RunButton()->setText("Create");
    RunButton()->setDefault(true);
    Tovanix::SetDlgCtrlID(RunButton(), 1387);
    buttons->addWidget(MakeStopButton());
    layout->addLayout(buttons);
    resize(480, 680);

    for (QLineEdit* edit : {FolderEdit(), FilterEdit()}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            RestartTimer(1001, 1000);
            RestartTimer(1000, 1000);
        });
    }
    for (QLineEdit* edit : {m_fps, m_videoFile})
        connect(edit, &QLineEdit::textChanged, this, [this] { RestartTimer(1001, 1000); });
    connect(m_monochrome, &QCheckBox::clicked, this, [this] { RestartTimer(1001, 1000); });
    connect(m_trim, &QCheckBox::clicked, this, [this] { RestartTimer(1001, 300); });
    for (ChannelCombo* combo : m_channels) {
        connect(combo, &QComboBox::editTextChanged, this, [this] { RestartTimer(1001, 1000); });
        connect(combo, &ChannelCombo::closedUp, this, [this] { RestartTimer(1001, 1000); });
    }
    connect(BrowseButton(), &QPushButton::clicked, this, [this] {
        BrowseForFolder("Select a directory with image files...");
        RestartTimer(1000, 0);
    });
    connect(m_preview, &QPushButton::clicked, this, [this] { PreviewSelectedFiles(*this); });
    connect(m_contrast, &QPushButton::clicked, this, [this] { OnBnClickedContrast(); });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedCreate(); });

    LoadSettings();
    FillFileListBox();
}

void VideoDlg::LoadSettings() {
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_videoFile->setText(QString::fromStdString(m_settings.Get("VideoFile")));
    m_fps->setText(QString::fromStdString(m_settings.Get("fps")));
    // Only a stored "FALSE" clears the box.
    m_monochrome->setChecked(m_settings.GetFlag("Monochrome", true));
    for (int c = 0; c < 4; ++c) {
        m_channels[c]->SetText(m_settings.Get(kChannelKeys[c]));
        m_ranges[c]->setText(QString::fromStdString(m_settings.Get("Range" + std::to_string(c))));
    }
    m_trim->setChecked(m_settings.GetFlag("TrimToCustomerView", m_trim->isChecked()));
    m_settings.SetLoading(false);
}

void VideoDlg::SaveSettings() {
    if (m_settings.Loading()) return;
    for (ChannelCombo* combo : m_channels) combo->setEnabled(!m_monochrome->isChecked() && !IsRunning());
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Set("VideoFile", m_videoFile->text().toStdString());
    m_settings.Set("fps", m_fps->text().toStdString());
    m_settings.SetFlag("Monochrome", m_monochrome->isChecked());
    for (int c = 0; c < 4; ++c) m_settings.Set(kChannelKeys[c], m_channels[c]->Text());
    for (int c = 0; c < 4; ++c) m_settings.Set("Range" + std::to_string(c), m_ranges[c]->text().toStdString());
    m_settings.SetFlag("TrimToCustomerView", m_trim->isChecked());
    m_settings.Save();
}

bool VideoDlg::CollectImageTypeNames() {
    m_imageTypeNames.clear();
    const std::string folder = FolderEdit()->text().toStdString();
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) return false;
    std::vector<std::string> names;
    FillFileList(folder, "*.png", names);
    m_imageTypeNames = ::CollectImageTypeNames(names);
    return !m_imageTypeNames.empty();
}

void VideoDlg::OnToolTimer(int id) {
    if (id == 1000) {
        FillFileListBox();
        CollectImageTypeNames();
    }
    if (id == 1001) SaveSettings();
    if (id == 1002) CopyContrastRanges();
}

void VideoDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{FolderEdit(), BrowseButton(), FilterEdit(), m_videoFile,
                                                            m_fps, FileList(), m_monochrome})
        control->setEnabled(enabled);
    for (ChannelCombo* combo : m_channels) combo->setEnabled(enabled && !m_monochrome->isChecked());
}

bool VideoDlg::OnBnClickedCreate() {
    VideoRequest request;
    if (!ParseFramesPerSecond(m_fps->text().toStdString(), &request.fps)) {
        Refuse("fps must be between 1.0 and 30.0", 0);
        return false;
    }
    const std::string videoText = m_videoFile->text().toStdString();
    if (videoText.empty()) {
        Refuse("You must provide the name of the video file to create.", 0);
        return false;
    }
    request.folder = FolderEdit()->text().toStdString();
    request.path = ResolveVideoPath(videoText, request.folder);
    std::error_code error;
    if (std::filesystem::exists(request.path, error)) {
        const std::string question = "File already exists: " + request.path + "\n\nDo you want to overwrite it?";
        if (platform::ShowMessageBox(question, "Vellora", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
            platform::IDYES)
            return false;
    }
    const std::vector<std::string> selected = SelectedFileNames();
    request.monochrome = m_monochrome->isChecked();
    if (request.monochrome) {
        request.channels[0] = selected;
    } else {
        for (int c = 0; c < 4; ++c) request.channels[c] = CollectChannelFiles(m_channels[c]->Text(), selected);
    }
    if (m_trim->isChecked()) {
        const Tovanix::String ini = FindExperimentSettingsIni(request.folder.c_str());
        if (!ini.HasText()) {
            Refuse("Trim to customer view option is invalid because file " + std::string(ini.c_str()) + " is missing",
                   platform::MB_ICONERROR);
            return false;
        }
    }
    for (int c = 0; c < 4; ++c) request.rangeTexts[c] = m_ranges[c]->text().toStdString();
    m_request = request;
    return StartWorker([request](const ToolWorkerContext& context) -> std::function<void()> {
        const std::string failure = RunCreateVideo(request, context);
        return [failure] {
            if (!failure.empty()) Refuse(failure, platform::MB_ICONERROR);
        };
    });
}

void VideoDlg::OnBnClickedContrast() {
    if (g_ContrastDlg == nullptr) {
        g_ContrastDlg = new ContrastDlg(parentWidget());
        QObject::connect(g_ContrastDlg, &QObject::destroyed, [] { g_ContrastDlg = nullptr; });
    }
    g_ContrastDlg->FolderEdit()->setText(FolderEdit()->text());
    g_ContrastDlg->FilterEdit()->setText(FilterEdit()->text());
    for (int c = 0; c < 4; ++c) {
        g_ContrastDlg->Channel(c)->SetText(m_channels[c]->Text());
        long low = 0, high = 0;
        if (ReadRangeText(m_ranges[c]->text().toStdString(), &low, &high))
            g_ContrastDlg->SetLowerAndUpperIntensities(c, low, high);
    }
    g_ContrastDlg->show();
    g_ContrastDlg->raise();
    RestartTimer(1002, 1000);
}

void VideoDlg::CopyContrastRanges() {
    if (g_ContrastDlg == nullptr) return;
    for (int c = 0; c < 4; ++c) {
        if (m_channels[c]->Text().empty()) {
            m_ranges[c]->clear();
            continue;
        }
        const QString range =
            QString("%1:%2").arg(g_ContrastDlg->LowerIntensity(c)).arg(g_ContrastDlg->UpperIntensity(c));
        if (range != m_ranges[c]->text()) {
            m_ranges[c]->setText(range);
            RestartTimer(1001, 1000);
        }
    }
    // A closed contrast window gets one last copy.
    if (g_ContrastDlg->isVisible()) RestartTimer(1002, 1000);
}
