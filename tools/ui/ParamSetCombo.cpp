#include "tools/ui/ParamSetCombo.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "support/ui/DialogControls.h"
#include "tools/ToolFrame.h"

ParamSetCombo::ParamSetCombo(std::string extension, int id, QWidget* parent)
    : QComboBox(parent), m_extension(std::move(extension)) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMinimumContentsLength(16);
    Tovanix::SetDlgCtrlID(this, id);
}

void ParamSetCombo::SetText(const std::string& text) { setEditText(QString::fromStdString(text)); }

void ParamSetCombo::Refill() {
    const QString text = currentText();
    {
        const QSignalBlocker blocker(this);
        clear();
        for (const std::string& name : ListParamSets(m_extension)) addItem(QString::fromStdString(name));
        setCurrentIndex(-1);
        setEditText(text);
    }
}

void ParamSetCombo::showPopup() {
    Refill();
    QComboBox::showPopup();
}

void ParamSetCombo::hidePopup() {
    QComboBox::hidePopup();
    emit closedUp();
}
