#pragma once

#include <QMainWindow>

class QMdiArea;

// The program's main window: an MDI frame that holds the image windows.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return m_mdiArea; }

private:
    QMdiArea* m_mdiArea;
};
