#pragma once

// The editable, sorted drop-down of a channel's image type in the contrast
// and video tools: just before its list opens it is refilled from a source
// of names; it signals when its list closes.

#include <QComboBox>

#include <functional>
#include <string>
#include <vector>

class ChannelCombo : public QComboBox {
    Q_OBJECT
public:
    ChannelCombo(int id, QWidget* parent = nullptr);

    void SetNameSource(std::function<std::vector<std::string>()> source) { m_source = std::move(source); }
    std::string Text() const { return currentText().toStdString(); }
    void SetText(const std::string& text) { setEditText(QString::fromStdString(text)); }
    // Empties the list and adds the source's names in their order; the text stays.
    void Refill();

    void showPopup() override;
    void hidePopup() override;

signals:
    void closedUp();

private:
    std::function<std::vector<std::string>()> m_source;
};
