#include "app/ui/MainFrame.h"

#include <QMdiArea>

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_mdiArea(new QMdiArea(this)) {
    setWindowTitle("Vellora");
    setCentralWidget(m_mdiArea);
    resize(1280, 800);
}
