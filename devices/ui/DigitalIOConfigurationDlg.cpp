#include "devices/ui/DigitalIOConfigurationDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "devices/DigitalIOConfiguration.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"

DigitalIOConfigurationDlg* g_DigitalIOConfigurationDlg = nullptr;

namespace {

struct ListKey {
    int id;
    const char* key;
    int count;     // 2 for a port, 8 for a line
    int fallback;  // the value of a setting that is not a number
    bool interlock;
};
const ListKey kLists[] = {
    {1080, "LED0_port", 2, 0, false}, {1081, "LED1_port", 2, 0, false}, {1082, "LED2_port", 2, 0, false},
    {1083, "LED3_port", 2, 0, false}, {1084, "LED0_line", 8, 0, false}, {1085, "LED1_line", 8, 1, false},
    {1086, "LED2_line", 8, 2, false}, {1087, "LED3_line", 8, 3, false}, {1100, "Cartridge_Port", 2, 0, true},
    {1101, "Cartridge_Line", 8, 0, true}, {1102, "Clamp_Port", 2, 0, true}, {1103, "Clamp_Line", 8, 0, true},
};

int HeldSetting(const ListKey& list) {
    char buffer[64];
    int value = list.fallback;
    if (Tovanix::E_GetPrivateProfileString("DIO_Config", list.key, "", buffer, sizeof(buffer), g_IniPath) &&
        std::sscanf(buffer, "%d", &value) != 1) {
        value = list.fallback;
    }
    return std::clamp(value, 0, list.count - 1);
}

void Report(const CString& error, unsigned type) {
    LogErrAndInfo("DigitalIOConfigurationDlg", __LINE__, error.GetString());
    platform::ShowMessageBox(error.GetString(), "Vellora", type);
}

}  // namespace

DigitalIOConfigurationDlg::DigitalIOConfigurationDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Digital I/O Configuration");

    auto makePort = [this](const char* title, int port, int lines) {
        auto* group = new QGroupBox(title, this);
        auto* column = new QVBoxLayout(group);
        for (int line = 0; line < lines; ++line) {
            auto* box = new QCheckBox(QString(" %1").arg(line), group);
            const int id = DigitalIOConfiguration::GetLineButtonId(port, line);
            Tovanix::SetDlgCtrlID(box, id);
            m_lines[id - DigitalIOConfiguration::kFirstPort0Box] = box;
            column->addWidget(box);
            connect(box, &QCheckBox::clicked, this, [port, line](bool checked) {
                CString error;
                if (!DigitalIOConfiguration::SetLineState(port, line, checked, &error)) {
                    Report(error, platform::MB_OK);
                }
            });
        }
        column->addStretch(1);
        return group;
    };

    auto makeList = [this](const ListKey& list) {
        auto* combo = new QComboBox(this);
        for (int i = 0; i < list.count; ++i) combo->addItem(QString::number(i));
        Tovanix::SetDlgCtrlID(combo, list.id);
        connect(combo, QOverload<int>::of(&QComboBox::activated), this,
                [this, combo, list] { OnListChanged(combo, list.key, list.interlock); });
        return combo;
    };

    auto* leds = new QGroupBox("LED illuminators Mapping ", this);
    auto* ledGrid = new QGridLayout(leds);
    ledGrid->addWidget(new QLabel("Port", leds), 0, 1);
    ledGrid->addWidget(new QLabel("Line", leds), 0, 2);
    for (int n = 0; n < 4; ++n) {
        ledGrid->addWidget(new QLabel(QString("LED %1").arg(n), leds), n + 1, 0);
        ledGrid->addWidget(makeList(kLists[n]), n + 1, 1);
        ledGrid->addWidget(makeList(kLists[4 + n]), n + 1, 2);
    }
    auto* interlock = new QGroupBox("Interlock Mapping ", this);
    auto* lockGrid = new QGridLayout(interlock);
    lockGrid->addWidget(new QLabel("Port", interlock), 0, 1);
    lockGrid->addWidget(new QLabel("Line", interlock), 0, 2);
    lockGrid->addWidget(new QLabel("Cart Inserted", interlock), 1, 0);
    lockGrid->addWidget(makeList(kLists[8]), 1, 1);
    lockGrid->addWidget(makeList(kLists[9]), 1, 2);
    lockGrid->addWidget(new QLabel("Clamp ", interlock), 2, 0);
    lockGrid->addWidget(makeList(kLists[10]), 2, 1);
    lockGrid->addWidget(makeList(kLists[11]), 2, 2);

    auto* ports = new QHBoxLayout;
    ports->addWidget(makePort("Port 0 lines", 0, 8));
    ports->addWidget(makePort("Port 1 lines", 1, 4));
    auto* left = new QVBoxLayout;
    left->addLayout(ports);
    auto* right = new QVBoxLayout;
    right->addWidget(leds);
    right->addWidget(interlock);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);

    m_poll = new QTimer(this);
    m_poll->setInterval(1000);
    connect(m_poll, &QTimer::timeout, this, &DigitalIOConfigurationDlg::PollLines);
}

void DigitalIOConfigurationDlg::PollLines() {
    if (!isVisible()) return;
    CString error;
    unsigned char port0 = 0;
    unsigned char port1 = 0;
    if (!Initialize_DIO(&error, false) || !ReadDIOLines(0, &port0, &error) || !Initialize_DIO(&error, false) ||
        !ReadDIOLines(1, &port1, &error)) {
        return;
    }
    const unsigned value = port1 * 256u + port0;
    for (int i = 0; i < 12; ++i) m_lines[i]->setChecked((value >> i) & 1u);
}

void DigitalIOConfigurationDlg::FillCombos() {
    QTimer::singleShot(100, this, [this] {
        Tovanix::E_WritePrivateProfileString("DIO_Config", "Mapping", "Interlock", g_IniPath);
        ReloadMapping(platform::MB_ICONERROR);
        RefreshLineButtons();
    });
    for (const ListKey& list : kLists) {
        qobject_cast<QComboBox*>(Tovanix::GetDlgItem(this, list.id))->setCurrentIndex(HeldSetting(list));
    }
}

void DigitalIOConfigurationDlg::RefreshLineButtons() {
    for (QCheckBox* box : m_lines) box->setEnabled(true);
    std::string problem;
    for (int id : DigitalIOConfiguration::InterlockInputBoxes(&problem)) {
        m_lines[id - DigitalIOConfiguration::kFirstPort0Box]->setEnabled(false);
    }
    if (!problem.empty()) LogErrAndInfo("DigitalIOConfigurationDlg", __LINE__, problem.c_str());
}

void DigitalIOConfigurationDlg::ReloadMapping(unsigned iconType) {
    CString error;
    if (!LoadDIOMapping(&error)) Report(error, iconType);
}

void DigitalIOConfigurationDlg::OnListChanged(QComboBox* list, const char* key, bool interlock) {
    CString error;
    if (!DigitalIOConfiguration::WriteMappingChoice(key, list->currentIndex(), &error)) Report(error, platform::MB_OK);
    if (interlock) RefreshLineButtons();
}

void DigitalIOConfigurationDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PollLines();
    m_poll->start();
    FillCombos();
    ReloadMapping(platform::MB_OK);
    RefreshLineButtons();
}

void DigitalIOConfigurationDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    m_poll->stop();
}
