#include "tools/ui/ChannelCombo.h"

#include "support/ui/DialogControls.h"

ChannelCombo::ChannelCombo(int id, QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    Tovanix::SetDlgCtrlID(this, id);
}

void ChannelCombo::Refill() {
    const QString text = currentText();
    clear();
    if (m_source) {
        for (const std::string& name : m_source()) addItem(QString::fromStdString(name));
    }
    setEditText(text);
}

void ChannelCombo::showPopup() {
    Refill();
    QComboBox::showPopup();
}

void ChannelCombo::hidePopup() {
    QComboBox::hidePopup();
    emit closedUp();
}
