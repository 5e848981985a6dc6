#include "platform/ui/TerminationSignals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the pipe, for the handler (which may touch nothing else).
volatile sig_atomic_t g_writeEnd = -1;

void OnTerminationSignal(int signal) {
    const int savedErrno = errno;
    const int fd = g_writeEnd;
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a request: dropping this one loses nothing.
        [[maybe_unused]] ssize_t written = write(fd, &number, 1);
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    g_writeEnd = m_pipe[1];

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_installed = true;
    for (int i = 0; i < 3; ++i) {
        if (sigaction(kSignals[i], nullptr, &m_previous[i]) != 0) {
            m_installed = false;
            continue;
        }
        // A signal ignored on purpose (a program started with nohup) stays ignored.
        if (m_previous[i].sa_handler == SIG_IGN) continue;
        if (sigaction(kSignals[i], &action, nullptr) != 0) m_installed = false;
    }
}

TerminationSignals::~TerminationSignals() {
    if (m_pipe[0] < 0) return;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeEnd = -1;
    delete m_notifier;
    close(m_pipe[0]);
    close(m_pipe[1]);
}

void TerminationSignals::CloseOnSignal(QWidget* window) {
    if (m_pipe[0] < 0) return;
    delete m_notifier;
    // Owned by the window, so it goes with it.
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, window);
    const int readEnd = m_pipe[0];
    QPointer<QWidget> target(window);
    QObject::connect(m_notifier, &QSocketNotifier::activated, window, [readEnd, target]() {
        unsigned char numbers[64];
        while (read(readEnd, numbers, sizeof numbers) > 0) {
        }
        if (target) target->close();
    });
}

}  // namespace platform
