#pragma once

// Termination signals as a request to close the main window. SIGTERM (a
// shutdown or `kill`), SIGHUP (the terminal went away) and SIGINT (Ctrl+C)
// would otherwise end the process at once, skipping the orderly exit that
// closing the window runs. The signal handler only writes the signal's number
// into a pipe; the user-interface thread reads it and closes the window, which
// may still refuse to close, as it would for the user. A signal that was
// ignored when the program started (nohup) stays ignored.

#include <QPointer>

#include <signal.h>

class QSocketNotifier;
class QWidget;

namespace platform {

class TerminationSignals {
public:
    // Installs the handlers. Meant for the very start of the program, before
    // the application object exists: a signal that comes before the window
    // is kept and acted on once it is. One instance at a time.
    TerminationSignals();
    // Puts the handlers back that were installed before.
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or a handler could not be set up.
    bool IsInstalled() const { return m_installed; }

    // Closes the window on each signal, from the event loop of the
    // user-interface thread (the application object must exist).
    void CloseOnSignal(QWidget* window);

private:
    QPointer<QSocketNotifier> m_notifier;
    int m_pipe[2] = {-1, -1};
    struct sigaction m_previous[3] = {};
    bool m_installed = false;
};

}  // namespace platform
