#include "support/ui/DialogControls.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>
#include <QWidget>

namespace Tovanix {

namespace {
constexpr const char* kIdProperty = "dlgCtrlId";
}

void SetDlgCtrlID(QWidget* control, int id) {
    if (control) control->setProperty(kIdProperty, id);
}

int GetDlgCtrlID(const QWidget* control) {
    if (!control) return 0;
    const QVariant id = control->property(kIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

QWidget* GetDlgItem(const QWidget* dialog, int id) {
    if (!dialog || id == 0) return nullptr;
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (GetDlgCtrlID(child) == id) return child;
    }
    return nullptr;
}

QString GetControlText(const QWidget* control) {
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    return {};
}

}  // namespace Tovanix
