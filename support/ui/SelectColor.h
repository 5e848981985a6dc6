#pragma once

// The colour dialog that opens on a given colour. Colours are 32-bit RGB
// values laid out as the program stores them: red in the low byte, then
// green, then blue (0x00BBGGRR).

#include <QColorDialog>
#include <cstdint>

namespace Tovanix {

class SelectColor : public QColorDialog {
    Q_OBJECT
public:
    explicit SelectColor(QWidget* parent = nullptr);

    // Runs the dialog modally: platform::IDOK or platform::IDCANCEL.
    int DoModal();
    // The colour chosen (or shown) in the dialog.
    uint32_t GetColor() const;

    static QColor ToQColor(uint32_t rgb);
    static uint32_t FromQColor(const QColor& color);

    uint32_t m_FirstColor = 0;  // shown as the current colour when the dialog opens

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace Tovanix
