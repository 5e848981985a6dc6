#include "devices/ui/PumpInformationDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/VelloraApp.h"
#include "devices/PumpInformation.h"
#include "support/ui/DialogControls.h"

PumpInformationDlg* g_PumpInformationDlg = nullptr;

namespace {
constexpr int kQueryButtonId = 1080;
constexpr int kQueryListId = 1204;
constexpr int kResultId = 1205;
}  // namespace

PumpInformationDlg::PumpInformationDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Pump Information");
    setSizeGripEnabled(true);

    m_query = new QPushButton("Query", this);
    m_list = new QComboBox(this);
    m_list->setEditable(true);
    m_list->setInsertPolicy(QComboBox::NoInsert);
    m_list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_list->setMinimumContentsLength(20);
    for (const std::string& row : PumpInformation::QueryRows()) m_list->addItem(QString::fromStdString(row));
    m_list->setCurrentIndex(-1);
    m_list->setMinimumWidth(20);
    m_result = new QPlainTextEdit(this);
    m_result->setReadOnly(true);
    m_result->setMinimumWidth(20);
    Tovanix::SetDlgCtrlID(m_query, kQueryButtonId);
    Tovanix::SetDlgCtrlID(m_list, kQueryListId);
    Tovanix::SetDlgCtrlID(m_result, kResultId);

    auto* top = new QHBoxLayout;
    top->addWidget(m_query);
    top->addWidget(m_list, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 3, 3);
    layout->addLayout(top);
    layout->addWidget(m_result, 1);
    resize(520, 220);

    connect(m_query, &QPushButton::clicked, this, &PumpInformationDlg::OnBnClickedQuery);
}

PumpInformationDlg::~PumpInformationDlg() {
    if (m_worker.joinable()) m_worker.join();
}

void PumpInformationDlg::OnBnClickedQuery() {
    if (m_list->currentIndex() < 0 || !m_query->isEnabled()) return;
    uint32_t reportNumber = 0;
    if (!PumpInformation::ParseQueryRow(m_list->currentText().toStdString(), &reportNumber)) return;
    if (m_worker.joinable()) m_worker.join();
    m_query->setEnabled(false);
    const int comPort = theApp.m_nPumpComPort;
    m_worker = std::thread([this, comPort, reportNumber] {
        const std::string text = PumpInformation::QueryBothPumps(comPort, reportNumber);
        QMetaObject::invokeMethod(
            this, [this, text] { ShowResult(QString::fromStdString(text)); }, Qt::QueuedConnection);
    });
}

void PumpInformationDlg::ShowResult(const QString& text) {
    QString shown = text;
    shown.replace("\r\n", "\n");
    m_result->setPlainText(shown);
    m_query->setEnabled(true);
    emit queryFinished();
}
