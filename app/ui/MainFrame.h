#pragma once

// The program's main window: an MDI frame that holds the image windows, the
// toolbar with the image-type box, the status bar, the menus, and the
// handlers of the window's own commands. Commands reach it from menus and
// buttons and, posted by other threads, through the user-interface bridge;
// each has a handler and an enabling rule in the command router.
//
// It runs the experiment workflow's timer, refuses to be minimised or closed
// while something runs, refuses to let the session end while the workflow
// runs, switches the LEDs off when it goes, and finds the serial devices
// again when the serial layer reports a failure (command 1364).

#include <QMainWindow>
#include <QTimer>

#include <map>
#include <vector>

#include "app/AdminMode.h"
#include "app/ExperimentWorkflow.h"
#include "app/FrameCommands.h"

class QLabel;
class QMdiArea;
class QMenu;
class CToolBarEx;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* mdiArea() const { return m_mdiArea; }
    CToolBarEx* ToolBar() const { return m_wndToolBar; }
    QLabel* StatusPane(int index) const;
    // Handlers and rules of every command; other subsystems install the
    // handlers of their windows here.
    CommandRouter& Commands() { return m_router; }

    // Runs a command as a menu choice, a button or a posted command does;
    // false when nothing handles it.
    bool OnCommand(int id);
    // Queues a command onto this window (any thread).
    void PostCommand(int id);

    // The workflow; callable from any thread, the caller waits.
    static void StartExperimentWorkflow();
    static void StopExperimentWorkflow();
    ExperimentWorkflow& Workflow() { return m_workflow; }

    // Starts the run screen's default script (command 32859).
    void OnRunUserInterface();

    // Brings menus, buttons and status panes up to date with their rules.
    void UpdateCommandUI();
    // The Live Image button shows pressed.
    bool IsLiveImageChecked() const;

    // How the Admin Mode command asks for the password (tests answer here).
    void SetPasswordPrompt(PasswordPrompt prompt) { m_passwordPrompt = std::move(prompt); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class Timer1000 : public WorkflowTimer {
    public:
        explicit Timer1000(QTimer& timer) : m_timer(timer) {}
        void SetTimer(uint32_t periodMs) override;
        void KillTimer() override;

    private:
        QTimer& m_timer;
    };

    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void InstallHandlers();
    QAction* AddCommand(QMenu* menu, int id, const char* text);

    QMdiArea* m_mdiArea;
    CToolBarEx* m_wndToolBar = nullptr;
    std::vector<QLabel*> m_statusPanes;
    CommandRouter m_router;
    std::multimap<int, QAction*> m_actions;
    QTimer m_workflowTimer;
    Timer1000 m_timer1000{m_workflowTimer};
    ExperimentWorkflow m_workflow{m_timer1000};
    QTimer m_updateTimer;
    PasswordPrompt m_passwordPrompt;
    bool m_minimizeRefusalQueued = false;
    bool m_minimizeRefused = false;
    uint32_t m_lastMinimizeRefusalTick = 0;
};
