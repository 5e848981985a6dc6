#pragma once

// The application's commands that open windows (About, Open) and the idle
// work of the user-interface thread: CVelloraApp::OnIdle runs whenever the
// event loop has nothing else to do, once more at once after a call that
// served a request, and otherwise every 100 ms.

#include <QObject>
#include <QTimer>

class CommandRouter;
class CMultiDocTemplate;
class QWidget;

class ScopedApplicationWindows : public QObject {
    Q_OBJECT
public:
    // The image documents are those of `documents`; `parent` owns the dialogs.
    ScopedApplicationWindows(CommandRouter& commands, QWidget* parent, CMultiDocTemplate* documents);
    ~ScopedApplicationWindows() override;

private:
    void ServeIdle();

    CommandRouter& m_commands;
    QTimer m_idle;
    long m_idleCount = 0;
};
