#pragma once

// The main window's toolbar: large buttons and the image-type box that names
// the image type live view and single captures use.

#include <QComboBox>
#include <QFont>
#include <QToolBar>

#include <functional>

// The image-type box: its list is filled afresh each time it drops down, and
// its closing is reported, so live view can restart with the chosen type.
class ImageTypeComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

signals:
    void droppedDown();
    void closedUp();
};

class CToolBarEx : public QToolBar {
    Q_OBJECT
public:
    explicit CToolBarEx(QWidget* parent = nullptr);
    ~CToolBarEx() override;

    // Puts the image-type box in place of the placeholder button and shows
    // the first set image type name. False when the box exists already.
    bool CreateImageTypeCombo();
    // Shows the first set name among image types index + 1 to 4; false for an
    // index above 3 or when none is set.
    bool ShowImageType(int index);
    // 0..3 for the type named exactly as the box's text, -1 for none, 0
    // while the box does not exist.
    signed char GetSelectedImageTypeIndex() const;

    // How the toolbar posts a command to the window's command chain, and
    // whether the Live Image button is pressed.
    void SetCommandPoster(std::function<void(int)> post) { m_postCommand = std::move(post); }
    void SetLiveImageChecked(std::function<bool()> checked) { m_liveImageChecked = std::move(checked); }

    ImageTypeComboBox* m_wndImageTypeCombo = nullptr;
    QFont m_fontImageTypeCombo;

private:
    void OnDropDown();
    void OnCloseUp();

    std::function<void(int)> m_postCommand;
    std::function<bool()> m_liveImageChecked;
};
