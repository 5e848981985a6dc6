#pragma once

// The engineer's window that sends one report query to both syringe pumps
// and shows the two answers. The query runs on a worker thread, so a pump
// that is busy with a script's commands does not freeze the window; the
// Query button stays disabled until the answers are in.

#include <QDialog>

#include <thread>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

class PumpInformationDlg : public QDialog {
    Q_OBJECT
public:
    explicit PumpInformationDlg(QWidget* parent = nullptr);
    ~PumpInformationDlg() override;

    // The Query button: queries both pumps with the report number of the
    // list's text, when a row is selected and the text reads as a query.
    void OnBnClickedQuery();

    QComboBox* QueryList() const { return m_list; }
    QPlainTextEdit* Result() const { return m_result; }
    QPushButton* QueryButton() const { return m_query; }

signals:
    // The result edit shows the answer of a query.
    void queryFinished();

private:
    void ShowResult(const QString& text);

    QPushButton* m_query = nullptr;
    QComboBox* m_list = nullptr;
    QPlainTextEdit* m_result = nullptr;
    std::thread m_worker;
};

// The one window of the main window's command; created on first use.
extern PumpInformationDlg* g_PumpInformationDlg;
