#pragma once

// The editable drop-down list of parameter sets beside a tool's controls:
// each time it opens it is refilled with the sets of the LIB folder of the
// data root that carry its extension (cut at the first "."), sorted; the
// text stays as typed. Signals when its list closes.

#include <QComboBox>

#include <string>

class ParamSetCombo : public QComboBox {
    Q_OBJECT
public:
    ParamSetCombo(std::string extension, int id, QWidget* parent = nullptr);

    std::string Text() const { return currentText().toStdString(); }
    void SetText(const std::string& text);
    // Fills the list from the LIB folder, keeping the text.
    void Refill();

    void showPopup() override;
    void hidePopup() override;

signals:
    void closedUp();

private:
    std::string m_extension;
};
