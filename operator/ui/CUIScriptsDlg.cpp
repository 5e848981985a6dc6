#include "operator/ui/CUIScriptsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "operator/CustomerScriptChooser.h"
#include "operator/CustomerUI.h"
#include "operator/ScriptsConsole.h"
#include "operator/ui/ScriptsDlg.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "script/ScriptRun.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"

CUIScriptsDlg* g_CUIScriptsDlg = nullptr;

namespace {

namespace chooser = CustomerScriptChooser;

std::string Folder() { return ScriptsConsole::CustomerScriptsFolder(); }

// Runs `function` on the user-interface thread without waiting for it.
template <class Function>
void Post(Function function) {
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, std::move(function), Qt::QueuedConnection);
}

// The default-script box tells when its list is about to open.
class DropDownCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> aboutToDrop;
    void showPopup() override {
        if (aboutToDrop) aboutToDrop();
        QComboBox::showPopup();
    }
};

}  // namespace

CUIScriptsDlg::CUIScriptsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Customer UI Scripts");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    auto* label = new QLabel("Default Script", this);
    auto* combo = new DropDownCombo(this);
    combo->aboutToDrop = [this] { OnCbnDropdownDefaultScript(); };
    m_defaultScript = combo;
    m_defaultScript->setEditable(true);
    m_defaultScript->setInsertPolicy(QComboBox::InsertAlphabetically);
    m_runOnStartup = new QCheckBox("Run On Startup", this);
    m_runOnStartup->setLayoutDirection(Qt::RightToLeft);  // text left of the box
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
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
    Tovanix::SetDlgCtrlID(m_defaultScript, 1358);
    Tovanix::SetDlgCtrlID(m_runOnStartup, 1359);
    Tovanix::SetDlgCtrlID(m_edit, 1069);
    Tovanix::SetDlgCtrlID(m_run, 1036);
    Tovanix::SetDlgCtrlID(m_stop, 1037);
    Tovanix::SetDlgCtrlID(m_currentLine, 1071);
    Tovanix::SetDlgCtrlID(m_list, 1068);

    auto* settings = new QHBoxLayout;
    settings->addWidget(label);
    settings->addWidget(m_defaultScript, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_edit);
    buttons->addWidget(m_run);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addLayout(settings);
    layout->addWidget(m_runOnStartup, 0, Qt::AlignLeft);
    layout->addWidget(separator);
    layout->addLayout(buttons);
    layout->addWidget(m_currentLine);
    layout->addWidget(m_list, 1);
    resize(300, 360);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    connect(m_saveTimer, &QTimer::timeout, this, &CUIScriptsDlg::SaveSettingsNow);

    connect(m_edit, &QPushButton::clicked, this, &CUIScriptsDlg::OnEdit);
    connect(m_run, &QPushButton::clicked, this, &CUIScriptsDlg::OnRun);
    connect(m_stop, &QPushButton::clicked, this, &CUIScriptsDlg::OnStop);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CUIScriptsDlg::UpdateButtons);
    connect(m_defaultScript->lineEdit(), &QLineEdit::textEdited, this, &CUIScriptsDlg::OnDefaultScriptChanged);
    connect(m_defaultScript, &QComboBox::activated, this, &CUIScriptsDlg::OnDefaultScriptChanged);
    connect(m_runOnStartup, &QCheckBox::clicked, this, &CUIScriptsDlg::OnDefaultScriptChanged);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        const int row = ContextMenuRow(point);
        if (row < 0) return;
        m_nContextItem = row;
        QMenu menu(m_list);
        const std::pair<const char*, int> items[] = {
            {"Rename", kRename}, {"Delete", kDelete}, {"Duplicate", kDuplicate}, {"Properties", kProperties}};
        for (const auto& [text, command] : items) menu.addAction(text)->setData(command);
        if (QAction* chosen = menu.exec(m_list->viewport()->mapToGlobal(point)))
            OnContextCommand(chosen->data().toInt(), m_nContextItem);
    });

    renamePrompt = [this](std::string* name) {
        ScriptRenameDlg dialog(this);
        dialog.m_name = *name;
        if (dialog.exec() != QDialog::Accepted) return false;
        *name = dialog.m_name;
        return true;
    };
    openInEditor = [](const std::string& path) { Tovanix::OpenUsingDefaultApp(path.c_str(), ".txt"); };
    OnInitDialog();
}

void CUIScriptsDlg::OnInitDialog() {
    m_bLoading = true;
    const chooser::Settings settings = chooser::LoadSettings();
    m_defaultScript->setEditText(QString::fromStdString(settings.defaultScript));
    m_runOnStartup->setChecked(settings.runOnStartup);
    m_bLoading = false;
}

void CUIScriptsDlg::Report(int line, const std::string& message) {
    LogErrAndInfo("CUIScriptsDlg", line, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

std::string CUIScriptsDlg::SelectedName() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

void CUIScriptsDlg::FillList() {
    m_list->clear();
    for (const std::string& name : ScriptsConsole::ListScripts(Folder())) m_list->addItem(QString::fromStdString(name));
}

void CUIScriptsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FillList();
    UpdateButtons();
}

void CUIScriptsDlg::UpdateButtons() {
    const chooser::Buttons b =
        chooser::ComputeButtons(SelectedName(), theApp.m_bAdminMode, chooser::CustomerScriptRunning());
    m_edit->setEnabled(b.edit);
    m_run->setEnabled(b.run);
    m_stop->setEnabled(b.stop);
    m_list->setEnabled(b.list);
}

void CUIScriptsDlg::OnCbnDropdownDefaultScript() {
    const QString text = m_defaultScript->currentText();
    m_defaultScript->clear();
    for (const std::string& name : ScriptsConsole::ListScripts(Folder()))
        m_defaultScript->addItem(QString::fromStdString(name));
    m_defaultScript->setEditText(text);
}

void CUIScriptsDlg::OnDefaultScriptChanged() {
    if (m_bLoading) return;
    m_saveTimer->start(kSaveDelayMs);
}

bool CUIScriptsDlg::SavePending() const { return m_saveTimer->isActive(); }

void CUIScriptsDlg::SaveSettingsNow() {
    m_saveTimer->stop();
    chooser::SaveSettings({m_defaultScript->currentText().toStdString(), m_runOnStartup->isChecked()});
}

void CUIScriptsDlg::OnEdit() {
    std::string path, error;
    if (!ScriptsConsole::PrepareScriptForEdit(Folder(), SelectedName(), &path, &error)) {
        Report(__LINE__, error);
        return;
    }
    openInEditor(path);
}

void CUIScriptsDlg::OnRun() {
    const std::string path = ScriptsConsole::JoinFolder(Folder(), SelectedName());
    const FrameHooks hooks = GetFrameHooks();
    if (hooks.createCustomerUi && !(hooks.customerUiExists && hooks.customerUiExists())) hooks.createCustomerUi();
    CString error;
    if (!g_CustomerUI.StartScript(path.c_str(), error)) {
        if (chooser::IsAlreadyRunningError(error.str()))
            LogErrAndInfo("CUIScriptsDlg", __LINE__, error.GetString());
        else
            Report(__LINE__, error.str());
        return;
    }
    m_stop->setEnabled(true);
    m_run->setEnabled(false);
    m_edit->setEnabled(false);
    m_list->setEnabled(false);
}

void CUIScriptsDlg::OnStop() { Script::StopScript(1); }

void CUIScriptsDlg::SetStatusText(const std::string& text) { m_currentLine->setText(QString::fromStdString(text)); }

void CUIScriptsDlg::OnScriptEnded() {
    m_currentLine->clear();
    const chooser::Buttons b = chooser::ButtonsAfterRun(SelectedName(), theApp.m_bAdminMode, m_edit->isEnabled());
    m_stop->setEnabled(b.stop);
    m_run->setEnabled(b.run);
    m_edit->setEnabled(b.edit);
    m_list->setEnabled(b.list);
}

int CUIScriptsDlg::ContextMenuRow(const QPoint& listPoint) const {
    if (!theApp.m_bAdminMode) return -1;
    const QModelIndex index = m_list->indexAt(listPoint);
    return index.isValid() && index.row() < m_list->count() ? index.row() : -1;
}

void CUIScriptsDlg::OnContextCommand(int command, int row) {
    if (row < 0 || row >= m_list->count()) return;
    const std::string item = m_list->item(row)->text().toStdString();
    const std::string folder = Folder();
    std::string error;
    switch (command) {
        case kRename: {
            std::string name = ScriptsConsole::WithoutExtension(item);
            if (!renamePrompt(&name)) return;
            if (!ScriptsConsole::rename_script_file(folder, ScriptsConsole::WithoutExtension(item), name, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        case kDelete: {
            const std::string path = ScriptsConsole::JoinFolder(folder, item);
            if (!platform::FileExists(path)) return;
            if (platform::ShowMessageBox("Are you sure that you want to delete file:\n" + path, "Vellora",
                                         platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
                return;
            if (!ScriptsConsole::DeleteScriptFile(folder, item, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        case kDuplicate: {
            std::string copy;
            if (!ScriptsConsole::DuplicateScriptFile(folder, item, &copy, &error)) {
                Report(__LINE__, error);
                return;
            }
            break;
        }
        default:
            return;  // Properties shows nothing
    }
    FillList();
}

namespace {

// What a run of interpreter 1 shows in the chooser; everything goes on to
// the observer installed before.
class ChooserRunObserver : public ScriptRunObserver {
public:
    void Chain(ScriptRunObserver* next) { m_next = next == this ? nullptr : next; }

    void ShowCurrentLine(int32_t handle, const std::string& line) override {
        if (handle == 1 && g_CUIScriptsDlg && m_lines.Set(line)) {
            Post([this] {
                const std::string newest = m_lines.Take();
                if (g_CUIScriptsDlg) g_CUIScriptsDlg->SetStatusText(newest);
            });
        }
        if (m_next) m_next->ShowCurrentLine(handle, line);
    }
    bool IsVariableWatchVisible() override { return m_next && m_next->IsVariableWatchVisible(); }
    void SetVariables(const std::vector<Variable>& variables) override {
        if (m_next) m_next->SetVariables(variables);
    }
    void OnScriptEnded(int32_t handle, bool failed) override {
        if (handle == 1 && g_CUIScriptsDlg) {
            // The run screen is reset here on the script thread; the window
            // follows on its own thread, behind the run's last line.
            CustomerScriptChooser::EndCustomerRun();
            Post([] {
                if (g_CUIScriptsDlg) g_CUIScriptsDlg->OnScriptEnded();
            });
        }
        if (m_next) m_next->OnScriptEnded(handle, failed);
    }
    void ClearMfgTestSymbols() override {
        if (m_next) m_next->ClearMfgTestSymbols();
    }

private:
    ScriptRunObserver* m_next = nullptr;
    ScriptsConsole::CurrentLineFeed m_lines;
};

ChooserRunObserver g_chooserObserver;

}  // namespace

void InstallCustomerScriptChooser(CommandRouter& commands, QWidget* parent) {
    commands.SetHandler(cmd::CustomerUIScripts, [parent] {
        if (g_CUIScriptsDlg == nullptr) {
            g_CUIScriptsDlg = new CUIScriptsDlg(parent);
            QObject::connect(g_CUIScriptsDlg, &QObject::destroyed, [] { g_CUIScriptsDlg = nullptr; });
        }
        g_CUIScriptsDlg->setVisible(!g_CUIScriptsDlg->isVisible());
        if (g_CUIScriptsDlg->isVisible()) g_CUIScriptsDlg->raise();
    });
    g_chooserObserver.Chain(GetScriptRunObserver());
    SetScriptRunObserver(&g_chooserObserver);
}
