#include "imaging/ui/ROIManager.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/ui/DialogControls.h"

namespace {

QPointer<ROIManager> g_ROIManager;

QString NumberText(int32_t value) { return QString::number(value); }

}  // namespace

ROIManager::ROIManager(QWidget* parent)
    : QDialog(parent),
      m_name(new QLineEdit(this)),
      m_left(new QLineEdit(this)),
      m_right(new QLineEdit(this)),
      m_top(new QLineEdit(this)),
      m_bottom(new QLineEdit(this)),
      m_save(new QPushButton("Save\nChanges", this)),
      m_listBox(new QListWidget(this)),
      m_editTimer(new QTimer(this)) {
    setWindowTitle("ROI Manager");
    const struct {
        QWidget* control;
        int id;
    } ids[] = {{m_name, IDC_NAME},     {m_left, IDC_LEFT}, {m_right, IDC_RIGHT}, {m_top, IDC_TOP},
               {m_bottom, IDC_BOTTOM}, {m_save, IDC_SAVE}, {m_listBox, IDC_LIST}};
    for (const auto& entry : ids) Tovanix::SetDlgCtrlID(entry.control, entry.id);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Name", this), 0, 0);
    layout->addWidget(m_name, 0, 1, 1, 3);
    layout->addWidget(new QLabel("Left", this), 1, 0);
    layout->addWidget(m_left, 1, 1);
    layout->addWidget(new QLabel("Right", this), 1, 2);
    layout->addWidget(m_right, 1, 3);
    layout->addWidget(new QLabel("Top", this), 2, 0);
    layout->addWidget(m_top, 2, 1);
    layout->addWidget(new QLabel("Bottom", this), 2, 2);
    layout->addWidget(m_bottom, 2, 3);
    layout->addWidget(m_save, 1, 4, 2, 1);
    layout->addWidget(m_listBox, 3, 0, 1, 5);
    m_save->setEnabled(false);

    m_editTimer->setSingleShot(true);
    m_editTimer->setInterval(kEditDelayMs);
    connect(m_editTimer, &QTimer::timeout, this, &ROIManager::OnTimer);
    for (QLineEdit* edit : {m_name, m_left, m_right, m_top, m_bottom}) {
        connect(edit, &QLineEdit::textEdited, this, &ROIManager::OnEditChange);
    }
    connect(m_save, &QPushButton::clicked, this, &ROIManager::OnSaveChanges);
    connect(m_listBox, &QListWidget::currentRowChanged, this, &ROIManager::OnSelChange);
    m_listBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_listBox, &QListWidget::customContextMenuRequested, this, &ROIManager::ShowListContextMenu);

    ShowCurrentROI();
    ReloadList();
}

bool ROIManager::ShowCurrentROI() {
    if (!g_pActiveROI) return false;
    m_left->setText(NumberText(g_pActiveROI->left));
    m_right->setText(NumberText(g_pActiveROI->right));
    m_top->setText(NumberText(g_pActiveROI->top));
    m_bottom->setText(NumberText(g_pActiveROI->bottom));
    return true;
}

void ROIManager::ReloadList() {
    m_bLoading = true;
    m_model.Reload(g_IniPath);
    m_listBox->clear();
    for (const std::string& name : m_model.SortedNames()) m_listBox->addItem(QString::fromLocal8Bit(name.c_str()));
    m_bLoading = false;
}

ROIEdits ROIManager::Edits() const {
    auto text = [](const QLineEdit* edit) { return CString(edit->text().toLocal8Bit().constData()); };
    return ROIEdits{text(m_name), text(m_left), text(m_right), text(m_top), text(m_bottom)};
}

void ROIManager::OnEditChange() { m_editTimer->start(); }

void ROIManager::OnTimer() {
    UpdateSaveButton();
    UpdatePreview();
}

void ROIManager::UpdateSaveButton() { m_save->setEnabled(m_model.SaveEnabled(Edits())); }

void ROIManager::UpdatePreview() {
    if (m_listBox->currentRow() < 0) return;
    ROIRect rect;
    CString error;
    // A number that does not read yet previews nothing.
    if (!ReadROIEdits(Edits(), rect, error)) {
        m_save->setEnabled(false);
        return;
    }
    if (rect.left == g_ActiveROI.left && rect.top == g_ActiveROI.top && rect.right == g_ActiveROI.right &&
        rect.bottom == g_ActiveROI.bottom) {
        return;
    }
    g_ActiveROI = rect;
    theApp.InvalidateAllImageViews();
    m_bPreviewShown = true;
}

void ROIManager::OnSelChange() {
    QListWidgetItem* item = m_listBox->currentItem();
    if (!item) return;
    m_name->setText(item->text());
    ROIRect rect;
    if (m_model.Lookup(item->text().toLocal8Bit().constData(), rect)) {
        m_left->setText(NumberText(rect.left));
        m_right->setText(NumberText(rect.right));
        m_top->setText(NumberText(rect.top));
        m_bottom->setText(NumberText(rect.bottom));
    }
    UpdatePreview();
}

void ROIManager::OnSaveChanges() {
    const ROIEdits edits = Edits();
    CString error;
    const ROIManagerModel::SaveResult result = m_model.SaveChanges(edits, m_bLoading, g_IniPath, error);
    if (result == ROIManagerModel::SaveResult::Refused) {
        platform::ShowMessageBox(error.str(), "ROI Manager", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    if (result == ROIManagerModel::SaveResult::Added) {
        m_listBox->addItem(QString::fromLocal8Bit(edits.name.GetString()));
    }
    m_save->setEnabled(false);
}

void ROIManager::ShowListContextMenu(const QPoint& position) {
    if (!theApp.m_bAdminMode) return;
    m_nRightClickedRow = m_listBox->row(m_listBox->itemAt(position));
    if (m_nRightClickedRow < 0) return;
    QMenu menu(m_listBox);
    QAction* remove = menu.addAction("Delete");
    remove->setData(static_cast<int>(ID_DELETE));
    if (menu.exec(m_listBox->viewport()->mapToGlobal(position)) == remove) OnDelete(m_nRightClickedRow);
}

void ROIManager::OnDelete(int row) {
    QListWidgetItem* item = m_listBox->item(row);
    if (!item) return;
    if (m_model.Delete(item->text().toLocal8Bit().constData(), m_bLoading, g_IniPath)) ReloadList();
}

void ROIManager::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    OnSelChange();
}

void ROIManager::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The preview belongs to the open window.
    if (m_bPreviewShown) {
        g_ActiveROI = ROIRect{};
        theApp.InvalidateAllImageViews();
        m_bPreviewShown = false;
    }
}

ROIManager* GetROIManager(QWidget* parent) {
    if (!g_ROIManager) g_ROIManager = new ROIManager(parent);
    return g_ROIManager;
}

ROIManager* FindROIManager() { return g_ROIManager; }
