#pragma once

// The script button control panel: twenty coloured buttons, each running a
// script in interpreter 0 (or stopping it), two gauges showing how full the
// syringes of pumps 1 and 2 are, and, in administrator mode, the choice of
// the active panel and each button's properties. The pump queries run on
// the panel's worker, so a busy pump line never stalls the window.

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <string>

#include "operator/ControlPanel.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QTimer;

// A script button: painted in its colour; a left press runs the button
// instead of pressing it, a right-click asks for its properties.
class ControlPanelButton : public QPushButton {
    Q_OBJECT
public:
    ControlPanelButton(uint32_t* color, QWidget* parent);

signals:
    void runRequested();
    void propertiesRequested(const QPoint& globalPoint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const uint32_t* m_color;
};

// The panel-name box tells when its list opens and closes.
class ControlPanelNameBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

signals:
    void listOpening();
    void listClosed();
};

class ControlPanelButtonProperties : public QDialog {
    Q_OBJECT
public:
    ControlPanelButtonProperties(const std::string& panelPath, const std::string& section, QWidget* parent = nullptr);

    // Loads the button's colour, title and script and fills the list.
    void OnInitDialog();
    int exec() override;
    void accept() override;

    QLineEdit* Title() const { return m_title; }
    QListWidget* Scripts() const { return m_scripts; }
    uint32_t m_color = ControlPanel::kDefaultColor;

private:
    std::string m_section;
    std::string m_panelPath;
    QLineEdit* m_title = nullptr;
    QListWidget* m_scripts = nullptr;
};

class ControlPanelDlg : public QDialog {
    Q_OBJECT
public:
    explicit ControlPanelDlg(QWidget* parent = nullptr);
    ~ControlPanelDlg() override;

    void SetAdminMode(bool on);
    // Reloads every button's colour and caption from the active panel.
    void RefreshButtons();
    void RunButtonScript(int buttonId);
    // Opens the properties of the button (modal); refreshes after OK.
    void EditButtonProperties(int buttonId);
    // Timer 1002: the panel name typed or chosen.
    void OnPanelNameChosen();
    // Timer 1001: the caption tells whether interpreter 0 runs.
    void UpdateCaption();
    // Timer 1003: the syringe displacements.
    void RefreshGauges();
    // Blocks until the pump queries started so far have answered (tests).
    void WaitForWorker();

    // How the properties dialog is run; tests replace it.
    std::function<bool(int buttonId)> propertiesPrompt;

    ControlPanelButton* Button(int buttonId) const;
    QComboBox* PanelName() const { return m_panelName; }
    QProgressBar* Gauge(int pump) const { return m_gauges[pump - 1]; }
    QLabel* GaugeLabel(int pump) const { return m_gaugeLabels[pump - 1]; }
    const std::string& Caption(int buttonId) const;
    uint32_t Color(int buttonId) const;

signals:
    // The gauges show the answers of a pump query.
    void gaugesUpdated();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void QueryPumps(bool withVolumes);
    void ShowReadings(bool withVolumes, const ControlPanel::SyringeReading readings[2]);

    ControlPanelButton* m_buttons[ControlPanel::kButtonCount] = {};
    uint32_t m_colors[ControlPanel::kButtonCount] = {};
    std::string m_captions[ControlPanel::kButtonCount];
    QProgressBar* m_gauges[2] = {};
    QLabel* m_gaugeLabels[2] = {};
    int32_t m_syringeVolume[2] = {};
    ControlPanelNameBox* m_panelName = nullptr;
    QTimer* m_captionTimer = nullptr;   // 1001
    QTimer* m_panelTimer = nullptr;     // 1002
    QTimer* m_gaugeTimer = nullptr;     // 1003
    int m_contextButton = 0;
    bool m_querying = false;
    QThreadPool m_worker;
};

// The one panel of the program; made by the first use of its command.
extern ControlPanelDlg* g_ControlPanelDlg;
