#include "operator/ui/ScriptsDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "script/Script.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"

ScriptsDlg* g_ScriptsDlg = nullptr;

namespace {

constexpr int kMaxNameLength = 1023;

}  // namespace

ScriptRenameDlg::ScriptRenameDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Script Rename");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(kMaxNameLength);
    m_edit->setMinimumWidth(420);
    Tovanix::SetDlgCtrlID(m_edit, 1075);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    Tovanix::SetDlgCtrlID(ok, 1);
    Tovanix::SetDlgCtrlID(cancel, 2);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);
}

void ScriptRenameDlg::OnInitDialog() { m_edit->setText(QString::fromStdString(m_name)); }

int ScriptRenameDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void ScriptRenameDlg::accept() {
    m_name = m_edit->text().left(kMaxNameLength).toStdString();
    QDialog::accept();
}

ScriptsDlg::ScriptsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Scripts");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    m_edit = new QPushButton("Edit", this);
    m_run = new QPushButton("Run", this);
    m_stop = new QPushButton("Stop", this);
    m_currentLine = new QLineEdit(this);
    m_currentLine->setReadOnly(true);
    m_list = new QListWidget(this);
    m_list->setSortingEnabled(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_run->setDefault(true);
    m_edit->setEnabled(false);
    m_stop->setEnabled(false);
    Tovanix::SetDlgCtrlID(m_edit, 1069);
    Tovanix::SetDlgCtrlID(m_run, 1036);
    Tovanix::SetDlgCtrlID(m_stop, 1037);
    Tovanix::SetDlgCtrlID(m_currentLine, 1071);
    Tovanix::SetDlgCtrlID(m_list, 1068);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_edit);
    buttons->addWidget(m_run);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addLayout(buttons);
    layout->addWidget(m_currentLine);
    layout->addWidget(m_list, 1);
    resize(300, 280);

    connect(m_edit, &QPushButton::clicked, this, &ScriptsDlg::OnEdit);
    connect(m_run, &QPushButton::clicked, this, &ScriptsDlg::OnRun);
    connect(m_stop, &QPushButton::clicked, this, &ScriptsDlg::OnStop);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &ScriptsDlg::UpdateButtons);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const int row = ContextMenuRow(point);
        if (row < 0) return;
        m_contextRow = row;
        QMenu menu(m_list);
        const std::pair<const char*, int> items[] = {
            {"Rename", kRename}, {"Delete", kDelete}, {"Duplicate", kDuplicate}, {"Properties", kProperties}};
        for (const auto& [text, command] : items) menu.addAction(text)->setData(command);
        if (QAction* chosen = menu.exec(m_list->viewport()->mapToGlobal(point))) {
            OnContextCommand(chosen->data().toInt(), m_contextRow);
        }
    });

    renamePrompt = [this](std::string* name) {
        ScriptRenameDlg dialog(this);
        dialog.m_name = *name;
        if (dialog.exec() != QDialog::Accepted) return false;
        *name = dialog.m_name;
        return true;
    };
    openInEditor = [](const std::string& path) { Tovanix::OpenUsingDefaultApp(path.c_str(), ".txt"); };
}

void ScriptsDlg::Report(int line, const std::string& message) {
    LogErrAndInfo("ScriptsDlg", line, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK);
}

std::string ScriptsDlg::SelectedName() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

void ScriptsDlg::FillList() {
    m_list->clear();
    for (const std::string& name : ScriptsConsole::ListScripts()) m_list->addItem(QString::fromStdString(name));
}

void ScriptsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FillList();
    UpdateButtons();
}

void ScriptsDlg::UpdateButtons() {
    const bool selected = !SelectedName().empty();
    m_edit->setEnabled(theApp.m_bAdminMode);
    m_stop->setEnabled(false);
    m_run->setEnabled(selected);
    if (!selected) m_edit->setEnabled(false);
    m_list->setEnabled(true);
}

void ScriptsDlg::OnEdit() {
    std::string path, error;
    if (!ScriptsConsole::PrepareScriptForEdit(SelectedName(), &path, &error)) {
        Report(__LINE__, error);
        return;
    }
    openInEditor(path);
}

void ScriptsDlg::OnRun() {
    CString error;
    if (!Script::RunScript(0, ScriptsConsole::ScriptPath(SelectedName()).c_str(), error)) {
        Report(__LINE__, error.str());
        return;
    }
    m_stop->setEnabled(true);
    m_run->setEnabled(false);
    m_edit->setEnabled(false);
    m_list->setEnabled(false);
}

void ScriptsDlg::OnStop() { Script::StopScript(0); }

void ScriptsDlg::OnScriptEnded() {
    m_currentLine->clear();
    m_stop->setEnabled(false);
    const bool selected = !SelectedName().empty();
    m_run->setEnabled(selected);
    m_edit->setEnabled(selected && theApp.m_bAdminMode);
    m_list->setEnabled(true);
}

int ScriptsDlg::ContextMenuRow(const QPoint& listPoint) const {
    if (!theApp.m_bAdminMode) return -1;
    const QModelIndex index = m_list->indexAt(listPoint);
    return index.isValid() && index.row() < m_list->count() ? index.row() : -1;
}

void ScriptsDlg::OnContextCommand(int command, int row) {
    if (row < 0 || row >= m_list->count()) return;
    const std::string item = m_list->item(row)->text().toStdString();
    std::string error;
    switch (command) {
        case kRename: {
            std::string name = ScriptsConsole::WithoutExtension(item);
            if (!renamePrompt(&name)) return;
            if (!ScriptsConsole::rename_script_file(ScriptsConsole::WithoutExtension(item), name, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        case kDelete: {
            const std::string path = ScriptsConsole::ScriptPath(item);
            if (!platform::FileExists(path)) return;
            if (platform::ShowMessageBox("Are you sure that you want to delete file:\n" + path, "Vellora",
                                         platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
                return;
            }
            if (!ScriptsConsole::DeleteScriptFile(item, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        case kDuplicate: {
            std::string copy;
            if (!ScriptsConsole::DuplicateScriptFile(item, &copy, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        default:
            // Properties shows nothing.
            return;
    }
    FillList();
}
