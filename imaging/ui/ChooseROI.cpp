#include "imaging/ui/ChooseROI.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "imaging/NamedROIEditing.h"
#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"

ChooseROI::ChooseROI(QWidget* parent) : QDialog(parent), m_listBox(new QListWidget(this)) {
    setWindowTitle("Choose ROI");
    Tovanix::SetDlgCtrlID(m_listBox, IDC_LIST);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Ok), platform::IDOK);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Cancel), platform::IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChooseROI::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChooseROI::OnCancel);
    connect(m_listBox, &QListWidget::currentRowChanged, this, &ChooseROI::OnSelChange);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_listBox);
    layout->addWidget(buttons);

    m_list.LoadFromIni(g_IniPath);
    for (int i = 0; i < m_list.count; ++i) m_listBox->addItem(QString::fromLocal8Bit(m_list.SortedAt(i)->name.c_str()));
}

int ChooseROI::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

namespace {

ROIRect RectOf(const NamedROI& roi) {
    return ROIRect{static_cast<int32_t>(roi.left), static_cast<int32_t>(roi.top), static_cast<int32_t>(roi.right),
                   static_cast<int32_t>(roi.bottom)};
}

}  // namespace

void ChooseROI::OnSelChange() {
    const int row = m_listBox->currentRow();
    if (row < 0 || row >= m_list.count) return;
    g_ActiveROI = RectOf(*m_list.SortedAt(row));
    theApp.InvalidateAllImageViews();
}

void ChooseROI::OnOK() {
    g_ActiveROI = ROIRect{};
    g_EpiOverlayROI = ROIRect{};
    theApp.InvalidateAllImageViews();
    const int row = m_listBox->currentRow();
    if (row < 0 || row >= m_list.count) return;
    if (MakeChosenROIActive(RectOf(*m_list.SortedAt(row)))) {
        const FrameHooks hooks = GetFrameHooks();
        if (hooks.showCurrentROI) hooks.showCurrentROI();
    }
    accept();
}

void ChooseROI::OnCancel() {
    g_ActiveROI = ROIRect{};
    theApp.InvalidateAllImageViews();
    QDialog::reject();
}
