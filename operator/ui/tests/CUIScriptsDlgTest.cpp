// The customer script chooser: its saved settings, the administrator's file
// operations on the customer Scripts folder, and its buttons through a
// customer run that waits on the run screen until the operator goes on.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstdlib>

#include "app/FrameCommands.h"
#include "operator/CustomerScriptChooser.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommands.h"
#include "operator/ui/CUIScriptsDlg.h"
#include "platform/testsupport/QtTestApplication.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "support/Profile.h"

namespace {

using scripttest::ReadText;
namespace fs = std::filesystem;

template <class Done>
bool SpinUntil(Done done) {
    QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class CUIScriptsDlgTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ScriptFolderTest::SetUp();
        customerScripts = root / "CustomerUI" / "Scripts";
        fs::create_directories(customerScripts);
        theApp.m_strCustomerUIDir = (root / "CustomerUI").string().c_str();
        theApp.m_bAdminMode = true;
        InstallCustomerUICommands();
        InstallCustomerScriptChooser(commands, nullptr);
    }
    void TearDown() override {
        Script::StopScript(1);
        g_CustomerUI.HandBack("Next", true);
        observer.WaitForEnds(0);
        delete g_CUIScriptsDlg;
        theApp.m_bAdminMode = false;
        theApp.m_strCustomerUIDir = "";
        ScriptFolderTest::TearDown();
    }

    CUIScriptsDlg* Show() {
        EXPECT_TRUE(commands.Execute(cmd::CustomerUIScripts));
        EXPECT_NE(g_CUIScriptsDlg, nullptr);
        if (g_CUIScriptsDlg) g_CUIScriptsDlg->openInEditor = [this](const std::string& path) { opened.push_back(path); };
        return g_CUIScriptsDlg;
    }
    void Select(CUIScriptsDlg* dlg, const QString& name) {
        const auto items = dlg->List()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        dlg->List()->setCurrentItem(items.front());
    }
    std::vector<QString> Names(CUIScriptsDlg* dlg) {
        std::vector<QString> names;
        for (int row = 0; row < dlg->List()->count(); ++row) names.push_back(dlg->List()->item(row)->text());
        return names;
    }
    // Edit, Run, Stop and list enabled.
    std::string Buttons(CUIScriptsDlg* dlg) {
        std::string s;
        for (QWidget* w : {static_cast<QWidget*>(dlg->EditButton()), static_cast<QWidget*>(dlg->RunButton()),
                           static_cast<QWidget*>(dlg->StopButton()), static_cast<QWidget*>(dlg->List())})
            s += w->isEnabled() ? '1' : '0';
        return s;
    }
    std::string Setting(const char* key) {
        char buffer[1100] = {};
        Tovanix::E_GetPrivateProfileString("CustomerUI", key, "<missing>", buffer, sizeof buffer - 1, g_IniPath);
        return buffer;
    }
    void WriteScript(const std::string& name, const std::string& text) {
        std::ofstream(customerScripts / name, std::ios::binary) << text;
    }

    CommandRouter commands;
    fs::path customerScripts;
    std::vector<std::string> opened;
};

TEST_F(CUIScriptsDlgTest, SettingsLoadAndSaveOneSecondAfterTheLastChange) {
    Tovanix::E_WritePrivateProfileString("CustomerUI", "DefaultScript", "Daily.scr", g_IniPath);
    Tovanix::E_WritePrivateProfileString("CustomerUI", "RunOnStartup", "true", g_IniPath);
    CUIScriptsDlg* dlg = Show();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->DefaultScript()->currentText(), "Daily.scr");
    EXPECT_TRUE(dlg->RunOnStartup()->isChecked());
    EXPECT_FALSE(dlg->SavePending());  // loading saves nothing

    // Typing a name and hiding the window at once still saves it.
    dlg->DefaultScript()->setEditText("Weekly.scr");
    dlg->OnDefaultScriptChanged();
    dlg->RunOnStartup()->setChecked(false);
    dlg->OnDefaultScriptChanged();
    ASSERT_TRUE(commands.Execute(cmd::CustomerUIScripts));
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(Setting("DefaultScript"), "Daily.scr");
    ASSERT_TRUE(SpinUntil([&] { return !dlg->SavePending(); }));
    EXPECT_EQ(Setting("DefaultScript"), "Weekly.scr");
    EXPECT_EQ(Setting("RunOnStartup"), "FALSE");

    Tovanix::E_WritePrivateProfileString("CustomerUI", "RunOnStartup", "yes", g_IniPath);
    dlg->OnInitDialog();
    EXPECT_FALSE(dlg->RunOnStartup()->isChecked());
}

TEST_F(CUIScriptsDlgTest, AdministratorFileOperationsOnTheCustomerFolder) {
    WriteScript("Run.scr", "int a;\n");
    WriteScript("Run_1.scr", "int b;\n");
    CUIScriptsDlg* dlg = Show();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Names(dlg), (std::vector<QString>{"Run.scr", "Run_1.scr"}));
    dlg->OnContextCommand(CUIScriptsDlg::kDuplicate, 0);
    EXPECT_EQ(Names(dlg), (std::vector<QString>{"Run.scr", "Run_1.scr", "Run_2.scr"}));
    EXPECT_EQ(ReadText(customerScripts / "Run_2.scr"), "int a;\n");
    EXPECT_TRUE(dlg->List()->selectedItems().isEmpty());

    dlg->renamePrompt = [](std::string* name) {
        *name = "Renamed";
        return true;
    };
    dlg->OnContextCommand(CUIScriptsDlg::kRename, 2);
    EXPECT_TRUE(fs::exists(customerScripts / "Renamed.scr"));

    // Outside administrator mode no menu opens.
    theApp.m_bAdminMode = false;
    EXPECT_EQ(dlg->ContextMenuRow(QPoint(5, 5)), -1);
    theApp.m_bAdminMode = true;

    // Edit without a selection opens an existing "New.scr" unchanged.
    WriteScript("New.scr", "// my work\n");
    dlg->List()->clearSelection();
    dlg->OnEdit();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (customerScripts / "New.scr").string());
    EXPECT_EQ(ReadText(customerScripts / "New.scr"), "// my work\n");
}

TEST_F(CUIScriptsDlgTest, ButtonsThroughACustomerRun) {
    WriteScript("Info.scr",
                "STRING ev;\n"
                "CustomerUI_SetTextLine(1, \"Ready\");\n"
                "CustomerUI_PromptInfo(ev);\n"
                "CustomerUI_SetTitle(ev);\n");
    CUIScriptsDlg* dlg = Show();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Buttons(dlg), "0001");  // nothing selected
    Select(dlg, "Info.scr");
    EXPECT_EQ(Buttons(dlg), "1101");
    dlg->OnRun();
    EXPECT_EQ(Buttons(dlg), "0010");
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS"))
        dlg->grab().save(QString("%1/chooser_running.png").arg(folder));
    ASSERT_TRUE(SpinUntil([] { return g_CustomerUI.GetState() == 9; }));
    // Selecting again while it runs keeps Run off.
    dlg->UpdateButtons();
    EXPECT_EQ(Buttons(dlg), "1011");
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_vecTextLines, std::vector<std::string>{"Ready"});

    g_CustomerUI.OnNextClicked();
    ASSERT_TRUE(SpinUntil([&] { return dlg->StopButton()->isEnabled() == false && !ScriptInstanceExists(1); }));
    ASSERT_TRUE(SpinUntil([&] { return Buttons(dlg) == "1101"; }));
    EXPECT_EQ(g_CustomerUI.GetState(), customer_ui::kUndefinedState);
    EXPECT_TRUE(dlg->CurrentLine()->text().isEmpty());
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_strTitle, "Next");
}

}  // namespace
