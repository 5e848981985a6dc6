#pragma once

// The scripts console: lists the script files of the Scripts folder, opens
// one in the text editor (a new "New.scr" when none is selected), runs the
// selected script in interpreter 0, stops that interpreter, and shows the
// line being run. In administrator mode a right-click on a script renames,
// deletes or duplicates it. One window for the whole program, made hidden
// at start-up.

#include <QDialog>
#include <QLineEdit>

#include <functional>
#include <string>

#include "operator/ScriptsConsole.h"

class QListWidget;
class QPushButton;

// The small modal window that edits a script's new name.
class ScriptRenameDlg : public QDialog {
    Q_OBJECT
public:
    explicit ScriptRenameDlg(QWidget* parent = nullptr);
    // Puts the name into the edit.
    void OnInitDialog();
    void accept() override;
    int exec() override;

    QLineEdit* NameEdit() const { return m_edit; }

    std::string m_name;

private:
    QLineEdit* m_edit = nullptr;
};

class ScriptsDlg : public QDialog {
    Q_OBJECT
public:
    // Context menu commands.
    enum : int { kRename = 1000, kProperties = 1001, kDelete = 1002, kDuplicate = 1003 };

    explicit ScriptsDlg(QWidget* parent = nullptr);

    // Sets the buttons from the selection and the administrator mode.
    void UpdateButtons();
    // Refills the list from the Scripts folder.
    void FillList();

    void OnEdit();
    void OnRun();
    void OnStop();
    // The end of a run of interpreter 0 (on the user-interface thread).
    void OnScriptEnded();

    // The list row under a right-click at `listPoint`, or -1 when no menu
    // opens there (outside administrator mode, or below the last item).
    int ContextMenuRow(const QPoint& listPoint) const;
    // Carries out a context menu command on the row it was opened for.
    void OnContextCommand(int command, int row);

    // How the console asks for a new name and opens a file in the editor;
    // tests replace them.
    std::function<bool(std::string* name)> renamePrompt;
    std::function<void(const std::string& path)> openInEditor;

    QListWidget* List() const { return m_list; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* RunButton() const { return m_run; }
    QPushButton* StopButton() const { return m_stop; }
    QLineEdit* CurrentLine() const { return m_currentLine; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::string SelectedName() const;
    void Report(int line, const std::string& message);

    QPushButton* m_edit = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_stop = nullptr;
    QLineEdit* m_currentLine = nullptr;
    QListWidget* m_list = nullptr;
    int m_contextRow = -1;
};

// The one console of the program; made hidden at start-up.
extern ScriptsDlg* g_ScriptsDlg;
