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

TerminationSignals::TerminationSignals(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::OnSignal);
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

void TerminationSignals::OnSignal() {
    unsigned char numbers[64];
    while (read(m_pipe[0], numbers, sizeof numbers) > 0) {
    }
    if (m_window) m_window->close();
}

}  // namespace platform
