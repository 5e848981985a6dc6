#include "operator/ui/VariableWatchDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <chrono>

#include "platform/Clock.h"
#include "script/Script.h"
#include "support/ui/DialogControls.h"

VariableWatchDlg* g_VariableWatchDlg = nullptr;

namespace {

constexpr int kWatchAllId = 1296;
constexpr int kNameIds[kVariableWatchRows] = {1231, 1232, 1233, 1234, 1237, 1238, 1239, 1240, 1241, 1242};
constexpr int kValueIds[kVariableWatchRows] = {1286, 1287, 1288, 1289, 1290, 1291, 1292, 1293, 1294, 1295};
constexpr int kRowTop = 40;
constexpr int kRowPitch = 26;
constexpr int kRowHeight = 24;
constexpr int kNameLeft = 8;
constexpr int kNameWidth = 150;
constexpr int kValueLeft = kNameLeft + kNameWidth + 6;

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(platform::GetClock().Now().time_since_epoch())
        .count();
}

}  // namespace

void WatchNameCombo::showPopup()
{
    emit dropDown();
    QComboBox::showPopup();
}

VariableWatchDlg::VariableWatchDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Variable Watch");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    m_watchAll = new QPushButton("Watch All", this);
    Tovanix::SetDlgCtrlID(m_watchAll, kWatchAllId);
    m_watchAll->setGeometry(kNameLeft, 8, 90, kRowHeight);
    connect(m_watchAll, &QPushButton::clicked, this, &VariableWatchDlg::OnWatchAll);

    for (int row = 0; row < kVariableWatchRows; ++row) {
        auto* name = new WatchNameCombo(this);
        name->setEditable(true);
        name->setInsertPolicy(QComboBox::NoInsert);
        name->setGeometry(kNameLeft, kRowTop + row * kRowPitch, kNameWidth, kRowHeight);
        Tovanix::SetDlgCtrlID(name, kNameIds[row]);
        connect(name, &WatchNameCombo::dropDown, this, [this, row] { OnDropDown(row); });
        auto* value = new QLineEdit(this);
        value->setReadOnly(true);
        value->setGeometry(kValueLeft, kRowTop + row * kRowPitch, 180, kRowHeight);
        Tovanix::SetDlgCtrlID(value, kValueIds[row]);
        m_names.push_back(name);
        m_values.push_back(value);
    }
    resize(kValueLeft + 180 + 5, kRowTop + kVariableWatchRows * kRowPitch + 8);

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &VariableWatchDlg::RefreshValues);
}

void VariableWatchDlg::SetVariables(const std::vector<Variable>& variables)
{
    if (!m_feed.SetVariables(variables, NowMs()))
        return;
    QMetaObject::invokeMethod(this, [this] { m_timer.start(10); }, Qt::QueuedConnection);
}

void VariableWatchDlg::EnableControls(bool enabled)
{
    m_watchAll->setEnabled(enabled);
    for (int row = 0; row < kVariableWatchRows; ++row) {
        m_names[static_cast<size_t>(row)]->setEnabled(enabled);
        m_values[static_cast<size_t>(row)]->setEnabled(enabled);
    }
}

void VariableWatchDlg::RefreshValues()
{
    if (!Script::IsScriptRunning(0, nullptr)) {
        EnableControls(false);
        return;
    }
    EnableControls(true);
    const std::unique_ptr<std::vector<Variable>> copy = m_feed.TakePending();
    if (!copy)
        return;
    std::vector<std::string> rowNames;
    for (WatchNameCombo* name : m_names)
        rowNames.push_back(name->currentText().toLocal8Bit().toStdString());
    const auto values = WatchRowValues(rowNames, *copy);
    for (size_t row = 0; row < values.size(); ++row) {
        if (values[row])
            m_values[row]->setText(QString::fromLocal8Bit(values[row]->c_str()));
    }
}

void VariableWatchDlg::OnWatchAll()
{
    const auto names = m_feed.Names();
    if (!names)
        return;
    const std::vector<std::string> rows = WatchAllNames(*names);
    for (size_t row = 0; row < rows.size(); ++row) {
        m_names[row]->setEditText(QString::fromLocal8Bit(rows[row].c_str()));
        m_values[row]->clear();
    }
}

void VariableWatchDlg::OnDropDown(int row)
{
    const auto names = m_feed.Names();
    if (!names)
        return;
    WatchNameCombo* combo = m_names[static_cast<size_t>(row)];
    combo->clear();
    combo->setEditText(QString());
    QStringList sorted;
    for (const std::string& name : *names)
        sorted << QString::fromLocal8Bit(name.c_str());
    sorted.sort(Qt::CaseInsensitive);
    combo->addItems(sorted);
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

void VariableWatchDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_shown = true;
    RefreshValues();
}

void VariableWatchDlg::hideEvent(QHideEvent* event)
{
    m_shown = false;
    QDialog::hideEvent(event);
}

void VariableWatchDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The values reach to 5 pixels inside the right edge, but keep 19 pixels of width.
    for (QLineEdit* value : m_values) {
        const QRect g = value->geometry();
        const int right = std::max(event->size().width() - 5, g.left() + 19);
        value->setGeometry(g.left(), g.top(), right - g.left(), g.height());
    }
}
