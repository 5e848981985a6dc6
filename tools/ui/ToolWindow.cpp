#include "tools/ui/ToolWindow.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "support/String.h"
#include "support/ui/DialogControls.h"

ToolWindow::ToolWindow(const QString& caption, QWidget* parent) : QDialog(parent) {
    setWindowTitle(caption);
    setModal(false);
}

ToolWindow::~ToolWindow() {
    DisconnectControls();
    m_stopFlag = true;
    if (m_worker.joinable()) m_worker.join();
    for (auto& [id, timer] : m_timers) timer->stop();
}

void ToolWindow::DisconnectControls() {
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

bool ToolWindow::FillFileListBox() {
    if (!m_fileList) return false;
    m_fileList->clear();
    std::vector<std::string> names;
    const bool found = FillFileList(m_folder ? m_folder->text().toStdString() : std::string(),
                                    m_filter ? m_filter->text().toStdString() : std::string(), names);
    for (const std::string& name : names) m_fileList->addItem(QString::fromStdString(name));
    return found;
}

std::vector<std::string> ToolWindow::SelectedFileNames() const {
    std::vector<std::string> names;
    if (!m_fileList) return names;
    for (int row = 0; row < m_fileList->count(); ++row) {
        if (m_fileList->item(row)->isSelected()) names.push_back(m_fileList->item(row)->text().toStdString());
    }
    return names;
}

void ToolWindow::BrowseForFolder(const char* title) {
    if (!m_folder) return;
    Tovanix::String folder(m_folder->text().toStdString().c_str());
    if (folder.BrowseForFolder(title)) m_folder->setText(QString::fromUtf8(folder.c_str()));
}

void ToolWindow::RestartTimer(int id, int milliseconds) {
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] { OnToolTimer(id); });
    }
    timer->start(milliseconds);
}

void ToolWindow::KillTimer(int id) {
    auto found = m_timers.find(id);
    if (found != m_timers.end()) found->second->stop();
}

bool ToolWindow::IsTimerActive(int id) const {
    auto found = m_timers.find(id);
    return found != m_timers.end() && found->second->isActive();
}

bool ToolWindow::StartWorker(Work work) {
    if (m_running) return false;
    if (m_worker.joinable()) m_worker.join();  // the last run's thread has ended
    m_stopFlag = false;
    m_running = true;
    SetInputsEnabled(false);
    if (m_run) m_run->setEnabled(false);
    if (m_stop) m_stop->setEnabled(true);
    m_worker = std::thread([this, work = std::move(work)] {
        ToolWorkerContext context;
        context.stop = &m_stopFlag;
        context.status = [this](const std::string& text) {
            const QString shown = QString::fromStdString(text);
            QMetaObject::invokeMethod(
                this,
                [this, shown] {
                    if (m_status) m_status->setText(shown);
                    emit statusShown(shown);
                },
                Qt::QueuedConnection);
        };
        std::function<void()> finish = work(context);
        QMetaObject::invokeMethod(this, [this, finish] { FinishRun(finish); }, Qt::QueuedConnection);
    });
    return true;
}

void ToolWindow::FinishRun(const std::function<void()>& finish) {
    if (finish) finish();
    if (m_status) m_status->clear();
    m_running = false;
    if (m_run) m_run->setEnabled(true);
    if (m_stop) m_stop->setEnabled(false);
    SetInputsEnabled(true);
    emit runFinished();
}

QLineEdit* ToolWindow::MakeFolderEdit() {
    m_folder = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_folder, 1216);
    return m_folder;
}

QPushButton* ToolWindow::MakeBrowseButton(int id) {
    m_browse = new QPushButton("...", this);
    m_browse->setMaximumWidth(32);
    m_browse->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_browse, id);
    return m_browse;
}

QLineEdit* ToolWindow::MakeFilterEdit() {
    m_filter = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_filter, 1217);
    return m_filter;
}

QListWidget* ToolWindow::MakeFileList() {
    m_fileList = new QListWidget(this);
    m_fileList->setSortingEnabled(true);
    m_fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tovanix::SetDlgCtrlID(m_fileList, 1221);
    return m_fileList;
}

QPushButton* ToolWindow::MakeRunButton() {
    m_run = new QPushButton("Run", this);
    m_run->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(m_run, 1036);
    return m_run;
}

QPushButton* ToolWindow::MakeStopButton() {
    m_stop = new QPushButton("Stop", this);
    m_stop->setAutoDefault(false);
    m_stop->setEnabled(false);
    Tovanix::SetDlgCtrlID(m_stop, 1037);
    connect(m_stop, &QPushButton::clicked, this, [this] { RequestStop(); });
    return m_stop;
}

QLabel* ToolWindow::MakeStatusLine() {
    m_status = new QLabel(this);
    m_status->setMinimumWidth(20);
    Tovanix::SetDlgCtrlID(m_status, 1071);
    return m_status;
}

void ToolWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void ToolWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_shown = isVisible();
}

void ToolWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    m_shown = isVisible();
}
