#include "tools/ui/FindMeniscusDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/UiBridge.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "tools/MeniscusTool.h"
#include "tools/ui/ContrastDlg.h"

FindMeniscusDlg* g_FindMeniscusDlg = nullptr;

FindMeniscusDlg::FindMeniscusDlg(QWidget* parent)
    : ToolWindow("Find Meniscus", parent), m_settings(MakeMeniscusSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(MakeBrowseButton(1009), 0, 0);
    grid->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    grid->addWidget(MakeFilterEdit(), 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(MakeStatusLine());
    layout->addWidget(MakeFileList(), 1);
    Tovanix::SetDlgCtrlID(FileList(), 1363);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(MakeRunButton());
    buttons->addWidget(MakeStopButton());
    RunButton()->setDefault(true);
    layout->addLayout(buttons);
    resize(470, 560);

    for (QLineEdit* edit : {FolderEdit(), FilterEdit()}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            RestartTimer(1000, 1000);
            RestartTimer(1001, 1000);
        });
    }
    connect(BrowseButton(), &QPushButton::clicked, this, [this] { BrowseForFolder("Select a directory with images."); });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedRun(); });

    // Putting the texts in raises their change handlers, which fill the list.
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_settings.SetLoading(false);
}

void FindMeniscusDlg::SaveSettings() {
    if (m_settings.Loading()) return;
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Save();
}

void FindMeniscusDlg::OnToolTimer(int id) {
    if (id == 1000) SaveSettings();
    if (id == 1001) FillImageListBox(*this);
}

void FindMeniscusDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{BrowseButton(), FolderEdit(), FilterEdit(), FileList()})
        control->setEnabled(enabled);
}

bool FindMeniscusDlg::OnBnClickedRun() {
    MeniscusRequest request;
    request.folder = FolderEdit()->text().toStdString();
    request.fileNames = SelectedFileNames();
    if (request.fileNames.empty()) {
        platform::ShowMessageBox("You must select at least one image to process.");
        return false;
    }
    return StartWorker([request](const ToolWorkerContext& context) -> std::function<void()> {
        const MeniscusReport report = RunFindMeniscus(request, context);
        return [report] {
            if (!report.error.empty())
                platform::ShowMessageBox(report.error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
            else
                Tovanix::OpenUsingDefaultApp(report.path.c_str(), ".xlsx");
        };
    });
}
