#include "tools/ui/ImageAnalysisToolDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ExperimentSettingsIni.h"
#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "tools/CountingParamSet.h"
#include "tools/ImageAnalysisTool.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"

ImageAnalysisToolDlg* g_ImageAnalysisToolDlg = nullptr;

ImageAnalysisToolDlg::ImageAnalysisToolDlg(QWidget* parent)
    : ToolWindow("Image Analysis Tool", parent), m_settings(MakeImageAnalysisToolSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(new QLabel("Image Directory", this), 0, 0);
    grid->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    grid->addWidget(MakeBrowseButton(), 0, 3);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    grid->addWidget(MakeFilterEdit(), 1, 1, 1, 2);

    grid->addWidget(new QLabel("Algo Params Sets", this), 2, 0, 1, 2);
    m_circle = new ParamSetCombo(kCountingParamsExtension, 1218, this);
    m_epi = new ParamSetCombo(kEpiParamsExtension, 1219, this);
    m_lpCurve = new ParamSetCombo(kLPCurveExtension, 1220, this);
    ParamSetCombo* lists[3] = {m_circle, m_epi, m_lpCurve};
    const char* labels[3] = {"Circle", "Epi ", "LP Curve"};
    const char* extensions[3] = {kCountingParamsExtension, kEpiParamsExtension, kLPCurveExtension};
    for (int i = 0; i < 3; ++i) {
        m_editButtons[i] = new QPushButton("...", this);
        m_editButtons[i]->setMaximumWidth(32);
        m_editButtons[i]->setAutoDefault(false);
        Tovanix::SetDlgCtrlID(m_editButtons[i], 1080 + i);
        grid->addWidget(new QLabel(labels[i], this), 3 + i, 0);
        grid->addWidget(lists[i], 3 + i, 1, 1, 2);
        grid->addWidget(m_editButtons[i], 3 + i, 3);
        ParamSetCombo* list = lists[i];
        const std::string extension = extensions[i];
        connect(m_editButtons[i], &QPushButton::clicked, this, [list, extension] {
            Tovanix::OpenUsingDefaultApp(ParamSetPath(list->Text(), extension).c_str(), ".txt");
        });
        connect(list, &QComboBox::editTextChanged, this, [this] { OnListChanged(); });
        connect(list, &ParamSetCombo::closedUp, this, [this] { RestartTimer(1000, 100); });
    }
    m_gdConc = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_gdConc, 1249);
    grid->addWidget(new QLabel("Gd conc", this), 6, 0);
    grid->addWidget(m_gdConc, 6, 1);
    grid->addWidget(new QLabel("mM", this), 6, 2);
    grid->setColumnStretch(1, 1);

    m_useAcquisition = new QCheckBox("Use Settings from Acquisition (Magnets, pp_mm)", this);
    Tovanix::SetDlgCtrlID(m_useAcquisition, 1348);
    m_useAcquisition->hide();
    m_openSummary = new QCheckBox("Open Summary", this);
    Tovanix::SetDlgCtrlID(m_openSummary, 1232);
    layout->addWidget(m_useAcquisition);
    layout->addWidget(m_openSummary);
    layout->addWidget(MakeFileList(), 1);
    layout->addWidget(MakeStatusLine());
    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    runRow->addWidget(MakeRunButton());
    runRow->addWidget(MakeStopButton());
    layout->addLayout(runRow);
    resize(460, 560);

    connect(FolderEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 1000);
        RestartTimer(1002, 200);
    });
    connect(FilterEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 1000);
    });
    connect(m_gdConc, &QLineEdit::textChanged, this, [this] { RestartTimer(1000, 1000); });
    connect(m_openSummary, &QCheckBox::toggled, this, [this](bool checked) { m_openSummaryChecked = checked; });
    connect(m_openSummary, &QCheckBox::clicked, this, [this] { RestartTimer(1000, 0); });
    connect(m_useAcquisition, &QCheckBox::clicked, this, [this] { RestartTimer(1002, 200); });
    connect(BrowseButton(), &QPushButton::clicked, this,
            [this] { BrowseForFolder("Select a directory with images to analyze."); });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedRun(); });

    LoadSettings();
    RestartTimer(1001, 200);
    RestartTimer(1002, 500);
}

void ImageAnalysisToolDlg::LoadSettings() {
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_circle->SetText(m_settings.Get("AlgoParamsSet"));
    m_epi->SetText(m_settings.Get("AlgoParamsSetEpi"));
    m_lpCurve->SetText(m_settings.Get("LPCurve"));
    m_openSummary->setChecked(m_settings.GetFlag("OpenSummary", m_openSummary->isChecked()));
    m_gdConc->setText(QString::fromStdString(m_settings.Get("Gd_conc")));
    UpdateRunButton();
    m_settings.SetLoading(false);
}

void ImageAnalysisToolDlg::SaveSettings() {
    if (m_settings.Loading()) return;
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Set("AlgoParamsSet", m_circle->Text());
    m_settings.Set("AlgoParamsSetEpi", m_epi->Text());
    m_settings.Set("LPCurve", m_lpCurve->Text());
    m_settings.SetFlag("OpenSummary", m_openSummary->isChecked());
    m_settings.Set("Gd_conc", m_gdConc->text().toStdString());
    m_settings.Save();
    UpdateRunButton();
}

void ImageAnalysisToolDlg::UpdateRunButton() {
    if (IsRunning()) return;
    RunButton()->setEnabled(!m_circle->Text().empty() || !m_epi->Text().empty());
}

void ImageAnalysisToolDlg::OnToolTimer(int id) {
    switch (id) {
    case 1000:
        SaveSettings();
        break;
    case 1001:
        FillFileListBox();
        break;
    case 1002: {
        m_acquisitionSettings = FindExperimentSettingsIni(FolderEdit()->text().toStdString().c_str()).c_str();
        if (m_acquisitionSettings.empty()) {
            if (!m_useAcquisition->isHidden()) {
                m_useAcquisition->hide();
                m_useAcquisition->setChecked(false);
            }
        } else if (m_useAcquisition->isHidden()) {
            m_useAcquisition->show();
            m_useAcquisition->setChecked(true);
        }
        break;
    }
    default:
        break;
    }
}

void ImageAnalysisToolDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{FolderEdit(), BrowseButton(), FilterEdit(), m_circle, m_epi,
                                                            m_lpCurve, m_editButtons[0], m_editButtons[1],
                                                            m_editButtons[2], m_gdConc, FileList()}) {
        control->setEnabled(enabled);
    }
    if (enabled) UpdateRunButton();
}

bool ImageAnalysisToolDlg::OnBnClickedRun() {
    ImageAnalysisRequest request;
    request.fileNames = SelectedFileNames();
    request.cirSetName = m_circle->Text();
    request.epiSetName = m_epi->Text();
    request.lpCurveName = m_lpCurve->Text();
    request.gdConcText = m_gdConc->text().toStdString();
    request.folder = FolderEdit()->text().toStdString();
    const bool useAcquisition = !m_useAcquisition->isHidden() && m_useAcquisition->isChecked();
    request.magnetSettingsFile = useAcquisition ? m_acquisitionSettings : g_IniPath.str();

    auto run = std::make_shared<ImageAnalysisRun>();
    std::string error;
    bool warningOnly = false;
    if (!request.Prepare(*run, &error, &warningOnly)) {
        if (warningOnly) {
            platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONWARNING);
        } else {
            LogErrAndInfo(__FILE__, __LINE__, error.c_str());
            platform::ShowMessageBox(error, "Vellora", platform::MB_OK);
        }
        return false;
    }
    // The run's thread is the window's worker: Stop reaches it through the
    // worker's stop flag, and "Open Summary" is read as it stands at the end.
    return StartWorker([this, request, run](const ToolWorkerContext& context) -> std::function<void()> {
        ImageAnalysisToolOwner owner(request, context);
        owner.SetOpenSummarySource([this] { return m_openSummaryChecked.load(); });
        run->ownerDialog = &owner;
        ImageAnalysisThread(run);
        run->ownerDialog = nullptr;
        return nullptr;
    });
}

void ImageAnalysisToolDlg::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    ShowOnlyFolderTool(this);
}
