#include "platform/ui/QtUiBridge.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <exception>

namespace platform {

namespace {

QtUiBridge::CommandHandler IgnoringTheArgument(std::function<void(int)> handler) {
    if (!handler) return {};
    return [handler = std::move(handler)](int commandId, intptr_t) { handler(commandId); };
}

}  // namespace

QtUiBridge::QtUiBridge(std::function<void(int)> commandHandler, QObject* parent)
    : QObject(parent), m_commandHandler(IgnoringTheArgument(std::move(commandHandler))) {}

QtUiBridge::QtUiBridge(CommandHandler commandHandler, QObject* parent)
    : QObject(parent), m_commandHandler(std::move(commandHandler)) {}

void QtUiBridge::SetCommandHandler(std::function<void(int)> handler) {
    m_commandHandler = IgnoringTheArgument(std::move(handler));
}

void QtUiBridge::SetCommandHandler(CommandHandler handler) { m_commandHandler = std::move(handler); }

void QtUiBridge::SetMessageBoxParent(QWidget* parent) { m_boxParent = parent; }

bool QtUiBridge::OnUiThread() const { return QThread::currentThread() == thread(); }

void QtUiBridge::PostCommand(int commandId, intptr_t argument) {
    QMetaObject::invokeMethod(
        this,
        [this, commandId, argument]() {
            if (m_commandHandler) m_commandHandler(commandId, argument);
        },
        Qt::QueuedConnection);
}

void QtUiBridge::RunOnUiThread(const std::function<void()>& function) {
    if (OnUiThread()) {
        function();
        return;
    }
    // An exception must not unwind through the event loop; it is handed to
    // the waiting caller instead, as if the function had run on its thread.
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        this,
        [&function, &failure]() {
            try {
                function();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

int QtUiBridge::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    int answer = IDOK;
    RunOnUiThread([&]() { answer = ShowBox(text, caption, type); });
    return answer;
}

int QtUiBridge::ShowBox(const std::string& text, const std::string& caption, unsigned type) {
    QMessageBox box(m_boxParent);
    box.setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    box.setText(QString::fromLocal8Bit(text.c_str()));
    switch (type & 0xF0) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (type & 0x0F) {
        case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes: return IDYES;
        case QMessageBox::No: return IDNO;
        case QMessageBox::Cancel: return IDCANCEL;
        default: return IDOK;
    }
}

}  // namespace platform
