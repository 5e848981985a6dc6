#pragma once

// Termination signals as a request to close the main window. SIGTERM (a
// shutdown or `kill`), SIGHUP (the terminal went away) and SIGINT (Ctrl+C)
// would otherwise end the process at once, skipping the orderly exit that
// closing the window runs. The signal handler only writes the signal's number
// into a pipe; the user-interface thread reads it and closes the window, which
// may still refuse to close, as it would for the user. A signal that was
// ignored when the program started (nohup) stays ignored.

#include <QObject>
#include <QPointer>

#include <signal.h>

class QSocketNotifier;
class QWidget;

namespace platform {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; the window is closed on each signal. One
    // instance at a time.
    explicit TerminationSignals(QWidget* window, QObject* parent = nullptr);
    // Puts the handlers back that were installed before.
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or a handler could not be set up.
    bool IsInstalled() const { return m_installed; }

private:
    void OnSignal();

    QPointer<QWidget> m_window;
    QSocketNotifier* m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
    struct sigaction m_previous[3] = {};
    bool m_installed = false;
};

}  // namespace platform
