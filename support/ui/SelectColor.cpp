#include "support/ui/SelectColor.h"

#include "platform/UiBridge.h"

namespace Tovanix {

SelectColor::SelectColor(QWidget* parent) : QColorDialog(parent) {}

int SelectColor::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

uint32_t SelectColor::GetColor() const { return FromQColor(currentColor()); }

QColor SelectColor::ToQColor(uint32_t rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }

uint32_t SelectColor::FromQColor(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8) |
           (static_cast<uint32_t>(color.blue()) << 16);
}

void SelectColor::showEvent(QShowEvent* event) {
    setCurrentColor(ToQColor(m_FirstColor));
    QColorDialog::showEvent(event);
}

}  // namespace Tovanix
