#include "app/startup/ui/ApplicationWindows.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

#include <strings.h>

#include "app/FrameCommands.h"
#include "app/VelloraApp.h"
#include "app/startup/IdleQueues.h"
#include "app/startup/ui/AboutDlg.h"
#include "imaging/ImageDoc.h"
#include "imaging/ui/DocTemplate.h"

namespace {

constexpr int kIdlePeriodMs = 100;

}  // namespace

ScopedApplicationWindows::ScopedApplicationWindows(CommandRouter& commands, QWidget* parent,
                                                   CMultiDocTemplate* documents)
    : m_commands(commands) {
    QPointer<QWidget> owner(parent);
    commands.SetHandler(cmd::ID_APP_ABOUT, [owner] {
        CAboutDlg about(owner);
        about.exec();
    });
    commands.SetHandler(cmd::ID_FILE_OPEN, [owner, documents] {
        const QString path =
            QFileDialog::getOpenFileName(owner, "Open", QString(), "PNG Image (*.png);;All Files (*)");
        if (!path.isEmpty() && documents) documents->OpenDocumentFile(path.toLocal8Bit().constData());
    });

    IdleWindows windows;
    windows.closeDocument = [documents](const std::string& path) {
        if (!documents) return;
        for (CImageDoc* document : documents->GetDocuments()) {
            if (strcasecmp(document->GetPathName().GetString(), path.c_str()) != 0) continue;
            if (!documents->GetFrame(document)) continue;  // no window: passed over
            // Closed once the idle call has returned, as a posted close would be.
            QTimer::singleShot(0, [documents, document] {
                for (CImageDoc* open : documents->GetDocuments()) {
                    if (open == document) {
                        documents->CloseDocument(document);
                        return;
                    }
                }
            });
            return;
        }
    };
    SetIdleWindows(windows);

    connect(&m_idle, &QTimer::timeout, this, &ScopedApplicationWindows::ServeIdle);
    m_idle.start(kIdlePeriodMs);
}

ScopedApplicationWindows::~ScopedApplicationWindows() {
    m_idle.stop();
    SetIdleWindows({});
    m_commands.SetHandler(cmd::ID_APP_ABOUT, {});
    m_commands.SetHandler(cmd::ID_FILE_OPEN, {});
}

void ScopedApplicationWindows::ServeIdle() {
    if (theApp.OnIdle(m_idleCount++)) {
        m_idle.start(0);
    } else {
        m_idleCount = 0;
        m_idle.start(kIdlePeriodMs);
    }
}
