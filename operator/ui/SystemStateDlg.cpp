#include "operator/ui/SystemStateDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/VelloraApp.h"
#include "support/ui/DialogControls.h"

SystemStateDlg* g_SystemStateDlg = nullptr;

namespace {

constexpr int kPort0Ids[8] = {1055, 1060, 1061, 1062, 1063, 1064, 1065, 1066};
constexpr int kPort1Ids[4] = {1071, 1072, 1073, 1074};
constexpr const char* kPort1Texts[4] = {"0 (Input)", "1 (Output1)", "2 (Output2)", "3 (Output3)"};
constexpr int kVolumeIds[2] = {1058, 1079};
constexpr int kDisplacementIds[2] = {1056, 1075};
constexpr int kRateIds[2] = {1076, 1077};
constexpr int kValveIds[2] = {1057, 1078};
constexpr int kRefreshMs = 2500;

QLineEdit* ReadOnlyEdit(int id, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setEnabled(false);
    edit->setMinimumWidth(90);
    Tovanix::SetDlgCtrlID(edit, id);
    return edit;
}

QCheckBox* LineBox(const QString& text, int id, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setEnabled(false);
    Tovanix::SetDlgCtrlID(box, id);
    return box;
}

}  // namespace

SystemStateDlg::SystemStateDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("System State");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* port0 = new QGroupBox(" D I/O Port 0", this);
    auto* port0Layout = new QGridLayout(port0);
    for (int line = 0; line < 8; ++line) {
        m_port0[line] = LineBox(QString::number(line), kPort0Ids[line], port0);
        port0Layout->addWidget(m_port0[line], line % 4, line / 4);
    }
    auto* port1 = new QGroupBox(" D I/O Port 1", this);
    auto* port1Layout = new QVBoxLayout(port1);
    for (int line = 0; line < 4; ++line) {
        m_port1[line] = LineBox(kPort1Texts[line], kPort1Ids[line], port1);
        port1Layout->addWidget(m_port1[line]);
    }
    auto* ports = new QHBoxLayout;
    ports->addWidget(port0);
    ports->addWidget(port1);

    auto* syringe = new QGroupBox(" Syringe ", this);
    auto* grid = new QGridLayout(syringe);
    int row = 0;
    auto addRow = [&](const QString& name, QLineEdit* edit, const QString& unit) {
        grid->addWidget(new QLabel(name, syringe), row, 0);
        grid->addWidget(edit, row, 1);
        if (!unit.isEmpty())
            grid->addWidget(new QLabel(unit, syringe), row, 2);
        ++row;
    };
    for (int pump = 0; pump < 2; ++pump) {
        m_volume[pump] = ReadOnlyEdit(kVolumeIds[pump], syringe);
        m_displacement[pump] = ReadOnlyEdit(kDisplacementIds[pump], syringe);
        m_rate[pump] = ReadOnlyEdit(kRateIds[pump], syringe);
        m_valve[pump] = ReadOnlyEdit(kValveIds[pump], syringe);
    }
    for (int pump = 0; pump < 2; ++pump)
        addRow(QString("Configured Vol %1").arg(pump + 1), m_volume[pump], "uL");
    for (int pump = 0; pump < 2; ++pump)
        addRow(QString("Displacement %1").arg(pump + 1), m_displacement[pump], "uL");
    for (int pump = 0; pump < 2; ++pump)
        addRow(QString("Rate %1").arg(pump + 1), m_rate[pump], "uL/min");
    for (int pump = 0; pump < 2; ++pump)
        addRow(QString("Valve %1").arg(pump + 1), m_valve[pump], QString());

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(ports);
    layout->addWidget(syringe);

    connect(&m_timer, &QTimer::timeout, this, &SystemStateDlg::OnTimer);
    // The event exists before the thread first waits on it (a member).
    m_refreshThread = std::thread([this] { RefreshThreadProc(); });
}

SystemStateDlg::~SystemStateDlg()
{
    m_stopping = true;
    m_refreshEvent.Set();
    m_refreshThread.join();
}

void SystemStateDlg::RequestRefresh() { m_refreshEvent.Set(); }

void SystemStateDlg::RefreshThreadProc()
{
    // The fields live on this thread; the window gets a copy of each result.
    SystemStateFields fields;
    for (;;) {
        while (!m_refreshEvent.Wait(1000u * 3600u)) {
        }
        // Reset before refreshing: a request or a stop that arrives while
        // the devices are asked must wake the next wait, not be cleared.
        m_refreshEvent.Reset();
        if (m_stopping)
            return;
        RefreshSystemState(fields, theApp.m_nPumpComPort);
        QMetaObject::invokeMethod(this, [this, fields] { ShowState(fields); }, Qt::QueuedConnection);
    }
}

void SystemStateDlg::ShowState(const SystemStateFields& fields)
{
    if (fields.port0) {
        for (int line = 0; line < 8; ++line)
            m_port0[line]->setChecked(PortLine(*fields.port0, line));
    }
    if (fields.port1) {
        for (int line = 0; line < 4; ++line)
            m_port1[line]->setChecked(PortLine(*fields.port1, line));
    }
    for (int pump = 0; pump < 2; ++pump) {
        m_volume[pump]->setText(QString::fromStdString(fields.configuredVolume[pump]));
        m_displacement[pump]->setText(QString::fromStdString(fields.displacement[pump]));
        m_rate[pump]->setText(QString::fromStdString(fields.rate[pump]));
        m_valve[pump]->setText(QString::fromStdString(fields.valve[pump]));
    }
    emit stateShown();
}

void SystemStateDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    RequestRefresh();
    m_timer.start(kRefreshMs);
}

void SystemStateDlg::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QDialog::hideEvent(event);
}

void SystemStateDlg::OnTimer()
{
    RequestRefresh();
    if (!isVisible())
        m_timer.stop();
}
