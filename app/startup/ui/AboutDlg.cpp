#include "app/startup/ui/AboutDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include "app/VelloraApp.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Vellora");
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    m_name = new QLabel(QString::fromStdString(theApp.m_strDisplayName.str()), this);
    m_version = new QLabel(QString("Version %1").arg(theApp.m_strVersion.GetString()), this);
    m_build = new QLabel(QString("Build %1").arg(theApp.m_strBuild.GetString()), this);
    auto* notice = new QLabel("Control and analysis program of the QX4 cell-analysis instrument.", this);

    auto* text = new QVBoxLayout;
    for (QLabel* label : {m_name, m_version, m_build, notice}) text->addWidget(label);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}
