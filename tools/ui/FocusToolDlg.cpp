#include "tools/ui/FocusToolDlg.h"

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
#include "tools/FocusTool.h"

FocusToolDlg* g_FocusToolDlg = nullptr;

FocusToolDlg::FocusToolDlg(QWidget* parent) : ToolWindow("Focus Tool", parent), m_settings(MakeFocusSettings()) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(MakeFolderEdit(), 0, 0, 1, 2);
    grid->addWidget(MakeBrowseButton(1332), 0, 2);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    grid->addWidget(MakeFilterEdit(), 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(MakeFileList(), 1);
    layout->addWidget(MakeStatusLine());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(MakeRunButton());
    buttons->addWidget(MakeStopButton());
    layout->addLayout(buttons);
    resize(460, 430);

    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_settings.SetLoading(false);
    FillFileListBox();

    for (QLineEdit* edit : {FolderEdit(), FilterEdit()})
        connect(edit, &QLineEdit::textChanged, this, [this] { RestartTimer(1000, 500); });
    connect(BrowseButton(), &QPushButton::clicked, this, [this] { BrowseForFolder("Select a directory with images..."); });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedRun(); });
}

void FocusToolDlg::SaveSettings() {
    if (m_settings.Loading()) return;
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Save();
}

void FocusToolDlg::OnToolTimer(int id) {
    if (id != 1000) return;
    FillFileListBox();
    SaveSettings();
}

void FocusToolDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{FolderEdit(), BrowseButton(), FilterEdit(), FileList()})
        control->setEnabled(enabled);
}

bool FocusToolDlg::OnBnClickedRun() {
    FocusRequest request;
    request.fileNames = SelectedFileNames();
    if (request.fileNames.empty()) {
        const char* message = "You must select at least one file.";
        LogErrAndInfo("FocusToolDlg", __LINE__, message);
        platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return false;
    }
    request.folder = FolderEdit()->text().toStdString();
    return StartWorker([request](const ToolWorkerContext& context) -> std::function<void()> {
        const FocusReport report = ScoreFocus(request, context);
        return [report] {
            if (!report.error.empty())
                platform::ShowMessageBox(report.error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
            if (!report.path.empty()) Tovanix::OpenUsingDefaultApp(report.path.c_str(), ".xls");
        };
    });
}
