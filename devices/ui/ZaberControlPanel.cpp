#include "devices/ui/ZaberControlPanel.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#include "app/VelloraApp.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"

ZaberControlPanel* g_ZaberControlPanel = nullptr;

namespace {

QString ZaberSetting(const char* key) {
    char buffer[256];
    if (!Tovanix::E_GetPrivateProfileString("Zaber", key, "", buffer, sizeof(buffer), g_IniPath)) return {};
    return QString::fromUtf8(buffer);
}

QString PositionText(double mm) { return QString::asprintf("%6.4lf", mm); }

}  // namespace

ZaberControlPanel::ZaberControlPanel(QWidget* parent, StagePanel::LogSink log)
    : QDialog(parent), m_stage(std::move(log)) {
    setWindowTitle("Zaber Control Panel");
    m_worker.setMaxThreadCount(1);

    m_port = new QLabel("COM", this);
    m_baud = new QLabel("Baud", this);
    m_model = new QLabel("Model", this);
    m_serial = new QLabel("Serial Number", this);
    Tovanix::SetDlgCtrlID(m_port, 1308);
    Tovanix::SetDlgCtrlID(m_baud, 1309);
    Tovanix::SetDlgCtrlID(m_model, 1003);
    Tovanix::SetDlgCtrlID(m_serial, 1004);
    auto* identity = new QGridLayout;
    identity->addWidget(m_port, 0, 0);
    identity->addWidget(m_baud, 0, 1);
    identity->addWidget(m_model, 1, 0);
    identity->addWidget(m_serial, 1, 1);

    QWidget* focusPart = BuildAxis(StagePanel::Axis::Focus, &m_focus, 1310, 1316, 1317, 1318, 1037, 1038, 1319,
                                   1331, 1332, 1333);
    m_separator = new QFrame(this);
    m_separator->setFrameShape(QFrame::HLine);
    m_separator->setFrameShadow(QFrame::Sunken);
    Tovanix::SetDlgCtrlID(m_separator, 1330);
    m_xPart = BuildAxis(StagePanel::Axis::X, &m_x, 1320, 1326, 1327, 1328, 1039, 1040, 1329, 1334, 1335, 1336);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(identity);
    layout->addWidget(focusPart);
    layout->addWidget(m_separator);
    layout->addWidget(m_xPart);
    layout->addStretch(1);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(1000);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] {
        if (isVisible()) {
            RefreshPositions();
        } else {
            m_refreshTimer->stop();
        }
    });
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(1000);
    connect(m_saveTimer, &QTimer::timeout, this, [this] { SaveSettings(); });
    for (QLineEdit* edit : {m_focus.target, m_x.target, m_focus.velocity, m_x.velocity}) {
        connect(edit, &QLineEdit::textChanged, this, &ZaberControlPanel::OnEditChanged);
    }

    // Opening: nothing is filled or read without a stage port.
    if (theApp.m_nStageComPort == 0) return;
    m_stage.LoadSettings();
    m_port->setText(QString::asprintf("COM%ld", static_cast<long>(theApp.m_nStageComPort)));
    m_baud->setText(QString::asprintf("%lu baud", static_cast<unsigned long>(theApp.m_nStageBaudRate)));
    QueryIdentity();
    m_focus.increment->setCurrentIndex(0);
    m_x.increment->setCurrentIndex(0);
    m_loading = true;
    m_focus.target->setText(ZaberSetting(StagePanel::kMoveAbsPosFocusKey));
    m_x.target->setText(ZaberSetting(StagePanel::kMoveAbsPosXAxisKey));
    m_focus.velocity->setText(ZaberSetting(StagePanel::kMoveVelocityFocusKey));
    m_x.velocity->setText(ZaberSetting(StagePanel::kMoveVelocityXAxisKey));
    m_loading = false;
    RefreshPositions();
    // Without the X axis only the focus part is shown.
    m_xPart->setVisible(m_stage.xAxisEnabled);
    adjustSize();
}

ZaberControlPanel::~ZaberControlPanel() { WaitForWorker(); }

void ZaberControlPanel::WaitForWorker() { m_worker.waitForDone(); }

QWidget* ZaberControlPanel::BuildAxis(StagePanel::Axis axis, AxisControls* controls, int firstJogId, int incrementId,
                                      int positionId, int homeId, int stopId, int moveAbsId, int targetId,
                                      int velocityId, int velocityBackId, int velocityFwdId) {
    auto* part = new QWidget(this);
    auto* grid = new QGridLayout(part);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(axis == StagePanel::Axis::Focus ? "Focus" : "X axis", part), 0, 0, 1, 6);

    // The jog buttons, from the largest step back to the largest step forward.
    struct Jog {
        const char* text;
        int idOffset;
        double factor;
    };
    const Jog jogs[] = {{"<<<", 1, -100}, {"<<", 2, -10}, {"<", 0, -1}, {">", 3, 1}, {">>", 5, 10}, {">>>", 4, 100}};
    int column = 0;
    for (const Jog& jog : jogs) {
        auto* button = new QPushButton(jog.text, part);
        Tovanix::SetDlgCtrlID(button, firstJogId + jog.idOffset);
        grid->addWidget(button, 1, column++);
        const double factor = jog.factor;
        connect(button, &QPushButton::clicked, this, [this, button, axis, factor, controls] {
            const double distance = StagePanel::IncrementMm(controls->increment->currentIndex()) * factor;
            RunOnWorker(button, [this, axis, distance] { m_stage.MoveRelative_mm(axis, distance); });
        });
    }

    grid->addWidget(new QLabel("Increment (mm)", part), 2, 0, 1, 2);
    controls->increment = new QComboBox(part);
    controls->increment->addItems({"0.001", "0.010", "0.100"});
    Tovanix::SetDlgCtrlID(controls->increment, incrementId);
    grid->addWidget(controls->increment, 2, 2);
    grid->addWidget(new QLabel("Position", part), 2, 3);
    controls->position = new QLineEdit(part);
    controls->position->setReadOnly(true);
    Tovanix::SetDlgCtrlID(controls->position, positionId);
    grid->addWidget(controls->position, 2, 4, 1, 2);

    auto* home = new QPushButton("Home", part);
    auto* stop = new QPushButton("Stop", part);
    auto* moveAbs = new QPushButton("Move Abs", part);
    controls->target = new QLineEdit(part);
    Tovanix::SetDlgCtrlID(home, homeId);
    Tovanix::SetDlgCtrlID(stop, stopId);
    Tovanix::SetDlgCtrlID(moveAbs, moveAbsId);
    Tovanix::SetDlgCtrlID(controls->target, targetId);
    grid->addWidget(home, 3, 0);
    grid->addWidget(stop, 3, 1);
    grid->addWidget(moveAbs, 3, 2);
    grid->addWidget(controls->target, 3, 3, 1, 3);
    connect(home, &QPushButton::clicked, this, [this, home, axis] { RunOnWorker(home, [this, axis] { m_stage.Home(axis); }); });
    connect(stop, &QPushButton::clicked, this, [this, stop, axis] { RunOnWorker(stop, [this, axis] { m_stage.Stop(axis); }); });
    connect(moveAbs, &QPushButton::clicked, this, [this, moveAbs, axis, controls] {
        const std::string text = controls->target->text().toStdString();
        RunOnWorker(moveAbs, [this, axis, text] { m_stage.MoveAbsolute(axis, text); });
    });

    grid->addWidget(new QLabel("Velocity (mm/s)", part), 4, 0, 1, 2);
    controls->velocity = new QLineEdit(part);
    Tovanix::SetDlgCtrlID(controls->velocity, velocityId);
    grid->addWidget(controls->velocity, 4, 2, 1, 2);
    auto* back = new QPushButton("<", part);
    auto* forward = new QPushButton(">", part);
    Tovanix::SetDlgCtrlID(back, velocityBackId);
    Tovanix::SetDlgCtrlID(forward, velocityFwdId);
    grid->addWidget(back, 4, 4);
    grid->addWidget(forward, 4, 5);
    for (auto [button, sign] : {std::pair{back, -1}, std::pair{forward, +1}}) {
        connect(button, &QPushButton::clicked, this, [this, button = button, sign = sign, axis, controls] {
            const std::string text = controls->velocity->text().toStdString();
            RunOnWorker(button, [this, axis, text, sign] { m_stage.MoveVelocity(axis, text, sign); });
        });
    }
    return part;
}

void ZaberControlPanel::RunOnWorker(QPushButton* button, std::function<void()> work) {
    button->setEnabled(false);
    m_worker.start([this, button, work = std::move(work)] {
        work();
        QMetaObject::invokeMethod(this, [button] { button->setEnabled(true); }, Qt::QueuedConnection);
    });
}

void ZaberControlPanel::QueryIdentity() {
    // The controller may be busy with a script's exchanges: ask on the worker
    // and fill the labels when the answers are in.
    m_worker.start([this] {
        std::string model, serial;
        const bool haveModel = m_stage.GetDeviceId(&model);
        const bool haveSerial = haveModel && m_stage.GetSerialNumber(&serial);
        QMetaObject::invokeMethod(
            this,
            [this, haveModel, haveSerial, model, serial] {
                if (haveModel) m_model->setText(QString::fromStdString(model));
                if (haveSerial) m_serial->setText(QString::fromStdString(serial));
                emit identityShown();
            },
            Qt::QueuedConnection);
    });
}

void ZaberControlPanel::RefreshPositions() {
    if (m_refreshing) return;
    m_refreshing = true;
    const bool withX = m_stage.xAxisEnabled;
    m_worker.start([this, withX] {
        double focus = 0;
        double x = 0;
        m_stage.GetPosition_mm(StagePanel::Axis::Focus, &focus);
        if (withX) m_stage.GetPosition_mm(StagePanel::Axis::X, &x);
        QMetaObject::invokeMethod(
            this,
            [this, focus, x, withX] {
                m_focus.position->setText(PositionText(focus));
                if (withX) m_x.position->setText(PositionText(x));
                m_refreshing = false;
                emit positionsRefreshed();
            },
            Qt::QueuedConnection);
    });
}

void ZaberControlPanel::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_stage.xAxisEnabled = StagePanel::XAxisEnabledSetting();
    m_refreshTimer->start();
}

void ZaberControlPanel::OnEditChanged() { m_saveTimer->start(); }

bool ZaberControlPanel::SaveSettings() {
    if (m_loading) return false;
    return StagePanel::SaveEdits(m_focus.target->text().toStdString(), m_x.target->text().toStdString(),
                                 m_focus.velocity->text().toStdString(), m_x.velocity->text().toStdString());
}
