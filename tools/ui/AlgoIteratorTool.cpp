#include "tools/ui/AlgoIteratorTool.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "tools/CountingParamSet.h"
#include "tools/ParameterSweep.h"
#include "tools/ui/ParamSetCombo.h"

AlgoIteratorTool* g_AlgoIteratorTool = nullptr;

AlgoIteratorTool::AlgoIteratorTool(QWidget* parent)
    : ToolWindow("Algo Interator Tool", parent), m_settings(MakeSweepSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    m_setName = new ParamSetCombo(kCountingParamsExtension, 1214, this);
    m_editParams = new QPushButton("...", this);
    m_editParams->setMaximumWidth(32);
    m_editParams->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_editParams, 1010);
    grid->addWidget(new QLabel("Param Set", this), 0, 0);
    grid->addWidget(m_setName, 0, 1, 1, 3);
    grid->addWidget(m_editParams, 0, 4);

    m_param = new QComboBox(this);
    m_param->setEditable(true);
    m_param->setInsertPolicy(QComboBox::NoInsert);
    Tovanix::SetDlgCtrlID(m_param, 1231);
    for (const std::string& name : kSweepParamNames) m_param->addItem(QString::fromStdString(name));
    grid->addWidget(new QLabel("Parameter", this), 1, 0);
    grid->addWidget(m_param, 1, 1, 1, 3);

    auto* values = new QHBoxLayout;
    m_start = new QLineEdit(this);
    m_stop = new QLineEdit(this);
    m_step = new QLineEdit(this);
    const char* labels[] = {"Start", "Stop", "Step"};
    QLineEdit* edits[] = {m_start, m_stop, m_step};
    for (int i = 0; i < 3; ++i) {
        Tovanix::SetDlgCtrlID(edits[i], 1276 + i);
        values->addWidget(new QLabel(labels[i], this));
        values->addWidget(edits[i]);
    }
    grid->addLayout(values, 2, 1, 1, 3);

    grid->addWidget(new QLabel("Image Directory", this), 3, 0);
    grid->addWidget(MakeFolderEdit(), 3, 1, 1, 3);
    grid->addWidget(MakeBrowseButton(), 3, 4);
    grid->addWidget(new QLabel("Filter", this), 4, 0);
    grid->addWidget(MakeFilterEdit(), 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    layout->addWidget(MakeFileList(), 1);

    auto* runRow = new QHBoxLayout;
    runRow->addWidget(MakeStatusLine(), 1);
    runRow->addWidget(MakeRunButton());
    runRow->addWidget(MakeStopButton());
    layout->addLayout(runRow);
    resize(420, 480);

    connect(m_setName, &QComboBox::editTextChanged, this, [this] { OnSettingChanged(); });
    connect(m_setName, &ParamSetCombo::closedUp, this, [this] { OnSettingChanged(); });
    connect(m_param, &QComboBox::editTextChanged, this, [this] { OnSettingChanged(); });
    for (QLineEdit* edit : edits) connect(edit, &QLineEdit::textChanged, this, [this] { OnSettingChanged(); });
    connect(FolderEdit(), &QLineEdit::textChanged, this, [this] { OnDirectoryOrFilterChanged(); });
    connect(FilterEdit(), &QLineEdit::textChanged, this, [this] { OnDirectoryOrFilterChanged(); });
    connect(BrowseButton(), &QPushButton::clicked, this,
            [this] { BrowseForFolder("Select a directory with images to process."); });
    connect(m_editParams, &QPushButton::clicked, this, [this] {
        Tovanix::OpenUsingDefaultApp(ParamSetPath(m_setName->Text(), kCountingParamsExtension).c_str(), ".txt");
    });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedRun(); });

    LoadSettings();
}

void AlgoIteratorTool::OnDirectoryOrFilterChanged() {
    RestartTimer(1000, 1000);
    RestartTimer(1001, 1000);
}

void AlgoIteratorTool::LoadSettings() {
    m_settings.SetLoading(true);
    m_settings.Load();
    m_setName->SetText(m_settings.Get("CountingAlgoParams"));
    m_param->setEditText(QString::fromStdString(m_settings.Get("ParamNameLevel1")));
    m_start->setText(QString::fromStdString(m_settings.Get("StartLevel1")));
    m_stop->setText(QString::fromStdString(m_settings.Get("StopLevel1")));
    m_step->setText(QString::fromStdString(m_settings.Get("StepLevel1")));
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_settings.SetLoading(false);
}

void AlgoIteratorTool::SaveSettings() {
    m_settings.Set("CountingAlgoParams", m_setName->Text());
    m_settings.Set("ParamNameLevel1", m_param->currentText().toStdString());
    m_settings.Set("StartLevel1", m_start->text().toStdString());
    m_settings.Set("StopLevel1", m_stop->text().toStdString());
    m_settings.Set("StepLevel1", m_step->text().toStdString());
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Save();
}

void AlgoIteratorTool::OnToolTimer(int id) {
    if (id == 1000) FillFileListBox();
    if (id == 1001) SaveSettings();
}

void AlgoIteratorTool::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{m_setName, m_param, m_start, m_stop, m_step, FolderEdit(),
                                                            BrowseButton(), FilterEdit(), FileList()}) {
        control->setEnabled(enabled);
    }
}

bool AlgoIteratorTool::OnBnClickedRun() {
    SweepRequest request;
    request.paramSetName = m_setName->Text();
    request.paramName = m_param->currentText().toStdString();
    request.startText = m_start->text().toStdString();
    request.stopText = m_stop->text().toStdString();
    request.stepText = m_step->text().toStdString();
    request.folder = FolderEdit()->text().toStdString();
    request.fileNames = SelectedFileNames();
    const std::vector<std::string> problems = request.Validate();
    if (!problems.empty()) {
        const std::string message = JoinMessageLines(problems);
        LogErrAndInfo("AlgoIteratorToolDlg", __LINE__, message.c_str());
        platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    return StartWorker([request](const ToolWorkerContext& context) -> std::function<void()> {
        const SweepReport report = RunParameterSweep(request, context);
        return [report] {
            if (!report.error.empty()) {
                LogErrAndInfo("AlgoIteratorToolDlg", __LINE__, report.error.c_str());
                platform::ShowMessageBox(report.error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
            } else {
                Tovanix::OpenUsingDefaultApp(report.logPath.c_str(), ".xls");
            }
        };
    });
}
