#pragma once

// The user-interface bridge on Qt: commands, functions and message boxes from
// any thread are carried onto the thread that owns the bridge object (the
// user-interface thread) as queued calls. Callers that wait block until the
// call has run; the user-interface thread itself never waits on a worker.

#include <QObject>
#include <functional>

#include "platform/UiBridge.h"

class QWidget;

namespace platform {

class QtUiBridge : public QObject, public UiBridge {
    Q_OBJECT
public:
    // The command handler receives posted command ids (and their arguments)
    // on the user-interface thread.
    using CommandHandler = std::function<void(int commandId, intptr_t argument)>;

    QtUiBridge() = default;
    explicit QtUiBridge(std::function<void(int)> commandHandler, QObject* parent = nullptr);
    explicit QtUiBridge(CommandHandler commandHandler, QObject* parent = nullptr);

    void SetCommandHandler(std::function<void(int)> handler);
    void SetCommandHandler(CommandHandler handler);
    // Parent window of the message boxes (may be null).
    void SetMessageBoxParent(QWidget* parent);

    void PostCommand(int commandId, intptr_t argument = 0) override;
    void RunOnUiThread(const std::function<void()>& function) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;

private:
    bool OnUiThread() const;
    int ShowBox(const std::string& text, const std::string& caption, unsigned type);

    CommandHandler m_commandHandler;
    QWidget* m_boxParent = nullptr;
};

}  // namespace platform
