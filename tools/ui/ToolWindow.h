#pragma once

// The frame every analysis tool window is built on: a modeless window that
// closing only hides; the folder, filter and file list with the folder
// browser; one-shot timers by id (restarting one kills it first, so a burst
// of edits fires once); and, for the batch tools, one worker thread per run
// with a stop flag, whose status reaches the status line through queued
// calls. The tools derive from it and add their own controls.
//
// Shared control ids: 1216 folder, 1217 filter, 1221 file list, 1009
// browse, 1036 Run, 1037 Stop, 1071 status line.

#include <QDialog>

#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "tools/ToolFrame.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

class ToolWindow : public QDialog {
    Q_OBJECT
public:
    explicit ToolWindow(const QString& caption, QWidget* parent = nullptr);
    // Asks a running worker to stop and waits for it.
    ~ToolWindow() override;

    // Frame controls; null until the tool makes them.
    QLineEdit* FolderEdit() const { return m_folder; }
    QLineEdit* FilterEdit() const { return m_filter; }
    QListWidget* FileList() const { return m_fileList; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* RunButton() const { return m_run; }
    QPushButton* StopButton() const { return m_stop; }
    QLabel* StatusLine() const { return m_status; }

    // Refills the file list from the folder and filter edits; false when
    // nothing matched (the list is then empty).
    bool FillFileListBox();
    // The selected names of the file list, in list order.
    std::vector<std::string> SelectedFileNames() const;
    // Shows the folder browser with the title, starting at the folder edit's
    // text; a chosen folder replaces that text.
    void BrowseForFolder(const char* title);

    // One-shot timers: RestartTimer kills the timer and sets it again; when
    // it fires OnToolTimer(id) runs on the user-interface thread.
    void RestartTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool IsTimerActive(int id) const;

    // Whether the window is shown; safe to read on any thread (the render
    // thread asks it of the tools that lend lines to the image views).
    bool IsShown() const { return m_shown; }

    // Batch runs.
    bool IsRunning() const { return m_running; }
    void RequestStop() { m_stopFlag = true; }
    // Clears the stop flag, disables the inputs, enables Stop and runs `work`
    // on a new thread. What `work` returns runs afterwards on the
    // user-interface thread; then the status line is emptied and the inputs
    // are enabled again. False when a run is already going.
    using Work = std::function<std::function<void()>(const ToolWorkerContext& context)>;
    bool StartWorker(Work work);

signals:
    // A worker's status text was shown.
    void statusShown(const QString& text);
    // A run has ended and the inputs are enabled again.
    void runFinished();

protected:
    // The tool's timers.
    virtual void OnToolTimer(int id) { (void)id; }
    // Enables or disables the tool's inputs for a run. Run and Stop are set
    // here first, so a tool may still decide about Run.
    virtual void SetInputsEnabled(bool enabled) { (void)enabled; }

    // Makes the frame controls (each with its id) for the tool's layout.
    QLineEdit* MakeFolderEdit();
    QPushButton* MakeBrowseButton(int id = 1009);
    QLineEdit* MakeFilterEdit();
    QListWidget* MakeFileList();
    QPushButton* MakeRunButton();
    QPushButton* MakeStopButton();
    QLabel* MakeStatusLine();

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // Cuts every connection of the child controls to this window. A tool
    // calls it first in its destructor: the controls outlive the tool's own
    // members and may still signal while they are destroyed.
    void DisconnectControls();

private:
    void FinishRun(const std::function<void()>& finish);

    QLineEdit* m_folder = nullptr;
    QLineEdit* m_filter = nullptr;
    QListWidget* m_fileList = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_status = nullptr;
    std::map<int, QTimer*> m_timers;
    std::atomic<bool> m_stopFlag{true};
    std::atomic<bool> m_shown{false};
    bool m_running = false;
    std::thread m_worker;
};
