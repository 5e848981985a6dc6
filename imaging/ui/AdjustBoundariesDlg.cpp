#include "imaging/ui/AdjustBoundariesDlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "imaging/BoundarySpacing.h"
#include "imaging/ui/ImageViewWidget.h"
#include "support/ui/DialogControls.h"

namespace {

QPointer<AdjustBoundariesDlg> g_AdjustBoundariesDlg;

QGroupBox* SpacingGroup(QWidget* parent, const char* title, QLineEdit* edit, QRadioButton* top,
                        QRadioButton* bottom, QPushButton* update) {
    auto* group = new QGroupBox(title, parent);
    auto* anchors = new QButtonGroup(group);
    anchors->addButton(top);
    anchors->addButton(bottom);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(edit);
    editRow->addWidget(new QLabel("mm", group));
    auto* anchorRow = new QHBoxLayout;
    anchorRow->addWidget(top);
    anchorRow->addWidget(bottom);
    auto* layout = new QVBoxLayout(group);
    layout->addLayout(editRow);
    layout->addLayout(anchorRow);
    layout->addWidget(update);
    return group;
}

}  // namespace

AdjustBoundariesDlg::AdjustBoundariesDlg(QWidget* parent)
    : QDialog(parent),
      m_magnetSpacing(new QLineEdit(this)),
      m_magnetTop(new QRadioButton("Anchor Top", this)),
      m_magnetBottom(new QRadioButton("Anchor Bottom", this)),
      m_updateMagnet(new QPushButton("Update Magnet Spacing", this)),
      m_channelSpacing(new QLineEdit(this)),
      m_channelTop(new QRadioButton("Anchor Top", this)),
      m_channelBottom(new QRadioButton("Anchor Bottom", this)),
      m_updateChannel(new QPushButton("Update Channel Spacing", this)),
      m_timer(new QTimer(this)) {
    setWindowTitle("Adjust Boundaries");
    const struct {
        QWidget* control;
        int id;
    } ids[] = {{m_magnetSpacing, IDC_MAGNET_SPACING}, {m_magnetTop, IDC_MAGNET_ANCHOR_TOP},
               {m_magnetBottom, IDC_MAGNET_ANCHOR_BOTTOM}, {m_updateMagnet, IDC_UPDATE_MAGNET},
               {m_channelSpacing, IDC_CHANNEL_SPACING}, {m_channelTop, IDC_CHANNEL_ANCHOR_TOP},
               {m_channelBottom, IDC_CHANNEL_ANCHOR_BOTTOM}, {m_updateChannel, IDC_UPDATE_CHANNEL}};
    for (const auto& entry : ids) Tovanix::SetDlgCtrlID(entry.control, entry.id);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        SpacingGroup(this, " Magnet Spacing ", m_magnetSpacing, m_magnetTop, m_magnetBottom, m_updateMagnet));
    layout->addWidget(
        SpacingGroup(this, " Channel Spacing ", m_channelSpacing, m_channelTop, m_channelBottom, m_updateChannel));

    connect(m_updateMagnet, &QPushButton::clicked, this, &AdjustBoundariesDlg::OnUpdateMagnetSpacing);
    connect(m_updateChannel, &QPushButton::clicked, this, &AdjustBoundariesDlg::OnUpdateChannelSpacing);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, &AdjustBoundariesDlg::OnTimer);
}

void AdjustBoundariesDlg::ShowForView(ImageViewWidget* view) {
    m_view = view;
    m_magnetSpacing->setText(QString::fromLocal8Bit(BoundarySpacingText(BoundaryPair::Magnets).GetString()));
    m_channelSpacing->setText(QString::fromLocal8Bit(BoundarySpacingText(BoundaryPair::Channels).GetString()));
    m_magnetBottom->setChecked(true);
    m_channelBottom->setChecked(true);
    m_timer->start();
}

void AdjustBoundariesDlg::OnTimer() {
    if (!isVisible() || !m_view) {
        m_timer->stop();
        return;
    }
    m_updateMagnet->setEnabled(BoundaryUpdateEnabled(
        BoundaryPair::Magnets, m_magnetSpacing->text().toLocal8Bit().constData(), m_updateMagnet->isEnabled()));
    m_updateChannel->setEnabled(BoundaryUpdateEnabled(
        BoundaryPair::Channels, m_channelSpacing->text().toLocal8Bit().constData(), m_updateChannel->isEnabled()));
}

void AdjustBoundariesDlg::RedrawView() {
    if (!m_view) return;
    m_view->View().m_bRedraw = true;
    m_view->Invalidate();
}

void AdjustBoundariesDlg::OnUpdateMagnetSpacing() {
    if (UpdateBoundarySpacing(BoundaryPair::Magnets, m_magnetTop->isChecked(),
                              m_magnetSpacing->text().toLocal8Bit().constData())) {
        RedrawView();
    }
}

void AdjustBoundariesDlg::OnUpdateChannelSpacing() {
    if (UpdateBoundarySpacing(BoundaryPair::Channels, m_channelTop->isChecked(),
                              m_channelSpacing->text().toLocal8Bit().constData())) {
        RedrawView();
    }
}

AdjustBoundariesDlg* GetAdjustBoundariesDlg(QWidget* parent) {
    if (!g_AdjustBoundariesDlg) g_AdjustBoundariesDlg = new AdjustBoundariesDlg(parent);
    return g_AdjustBoundariesDlg;
}

AdjustBoundariesDlg* FindAdjustBoundariesDlg() { return g_AdjustBoundariesDlg; }
