#pragma once

// The customer script chooser: the engineer's small window for the scripts
// of the customer run screen. It lists the customer Scripts folder, opens a
// script in the text editor (a new "New.scr" when none is selected), runs
// the selected script on the run screen (interpreter 1), stops it, shows the
// line being run, and in administrator mode renames, deletes and duplicates
// scripts. It also keeps the default customer script and whether it runs at
// start-up, saved one second after the last change. Made on the first use
// of its main-window command, then shown and hidden.

#include <QDialog>

#include <functional>
#include <string>

class CommandRouter;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

class CUIScriptsDlg : public QDialog {
    Q_OBJECT
public:
    enum : int { IDD = 351, kSaveDelayMs = 1000 };
    // Context menu commands.
    enum : int { kRename = 1000, kProperties = 1001, kDelete = 1002, kDuplicate = 1003 };

    explicit CUIScriptsDlg(QWidget* parent = nullptr);

    // Puts the saved settings into the combo and the check box.
    void OnInitDialog();
    void UpdateButtons();
    void FillList();
    // The default-script combo's list: the customer scripts.
    void OnCbnDropdownDefaultScript();
    // A change of either setting: saves one second after the last change.
    void OnDefaultScriptChanged();
    void SaveSettingsNow();

    void OnEdit();
    void OnRun();
    void OnStop();
    // The end of a run of interpreter 1, on the user-interface thread.
    void OnScriptEnded();
    void SetStatusText(const std::string& text);

    int ContextMenuRow(const QPoint& listPoint) const;
    void OnContextCommand(int command, int row);

    // How the chooser asks for a new name and opens a file in the editor;
    // tests replace them.
    std::function<bool(std::string* name)> renamePrompt;
    std::function<void(const std::string& path)> openInEditor;

    QListWidget* List() const { return m_list; }
    QComboBox* DefaultScript() const { return m_defaultScript; }
    QCheckBox* RunOnStartup() const { return m_runOnStartup; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* RunButton() const { return m_run; }
    QPushButton* StopButton() const { return m_stop; }
    QLineEdit* CurrentLine() const { return m_currentLine; }
    bool SavePending() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::string SelectedName() const;
    void Report(int line, const std::string& message);

    QComboBox* m_defaultScript = nullptr;
    QCheckBox* m_runOnStartup = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_stop = nullptr;
    QLineEdit* m_currentLine = nullptr;
    QListWidget* m_list = nullptr;
    QTimer* m_saveTimer = nullptr;
    int m_nContextItem = -1;
    bool m_bLoading = false;
};

// The one chooser of the program, null until its command is first used.
extern CUIScriptsDlg* g_CUIScriptsDlg;

// Installs the main window's command that makes and toggles the chooser, and
// what a run of interpreter 1 shows in it (the line being run, the end of
// the run).
void InstallCustomerScriptChooser(CommandRouter& commands, QWidget* parent);
