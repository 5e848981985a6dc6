#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QPushButton>

#include "app/AdminMode.h"
#include "app/FrameCommands.h"
#include "operator/ui/ScriptWindows.h"
#include "operator/ui/ScriptsDlg.h"
#include "platform/testsupport/QtTestApplication.h"
#include "script/tests/ScriptRunTestSupport.h"

namespace {

using scripttest::ReadText;
using scripttest::StandInWait;
namespace fs = std::filesystem;

template <class Done>
bool SpinUntil(Done done) {
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ScriptsDlgTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override {
        testsupport::EnsureApplication();
        ScriptFolderTest::SetUp();
        theApp.m_bAdminMode = false;
        InstallScriptWindows(commands, nullptr);
        ASSERT_NE(g_ScriptsDlg, nullptr);
        console = g_ScriptsDlg;
        console->openInEditor = [this](const std::string& path) { opened.push_back(path); };
    }
    void TearDown() override {
        StandInWait::Instance().ReleaseAll();
        observer.WaitForEnds(0);
        delete g_ScriptsDlg;
        ScriptFolderTest::TearDown();
    }

    void Show() {
        ASSERT_TRUE(commands.Execute(cmd::FluidicScripts));
        ASSERT_TRUE(console->isVisible());
    }
    void Select(const QString& name) {
        const auto items = console->List()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        console->List()->setCurrentItem(items.front());
    }
    std::vector<QString> Names() {
        std::vector<QString> names;
        for (int row = 0; row < console->List()->count(); ++row) names.push_back(console->List()->item(row)->text());
        return names;
    }
    // Edit, Run, Stop and list enabled, as "1" and "0".
    std::string Buttons() {
        std::string states;
        for (QWidget* control : {static_cast<QWidget*>(console->EditButton()), static_cast<QWidget*>(console->RunButton()),
                                 static_cast<QWidget*>(console->StopButton()), static_cast<QWidget*>(console->List())}) {
            states += control->isEnabled() ? "1" : "0";
        }
        return states;
    }
    void SetAdminMode(bool on) {
        theApp.m_bAdminMode = on;
        GetAdminModeChangedHook()(on);
    }

    CommandRouter commands;
    ScriptsDlg* console = nullptr;
    std::vector<std::string> opened;
};

TEST_F(ScriptsDlgTest, ListsTheFolderAndFollowsSelectionAndAdministratorMode) {
    Write("Scripts/prime.scr", "");
    Write("Scripts/Flush.scr", "");
    Write("Scripts/readme.txt", "");
    Show();
    EXPECT_EQ(console->windowTitle(), "Scripts");
    EXPECT_EQ(Names(), (std::vector<QString>{"Flush.scr", "prime.scr"}));
    EXPECT_EQ(Buttons(), "0001");
    Select("prime.scr");
    EXPECT_EQ(Buttons(), "0101");
    SetAdminMode(true);
    EXPECT_EQ(Buttons(), "1101");
    if (const char* folder = std::getenv("VELLORA_SCREENSHOTS")) console->grab().save(QString(folder) + "/Scripts.png");
    // The command hides a shown console.
    ASSERT_TRUE(commands.Execute(cmd::FluidicScripts));
    EXPECT_FALSE(console->isVisible());
}

TEST_F(ScriptsDlgTest, EditWithoutASelectionOpensNewScrAndKeepsAnExistingOne) {
    Write("Scripts/New.scr", "Wait(5);\r\n");
    SetAdminMode(true);
    Show();
    Select("New.scr");
    console->List()->clearSelection();
    console->OnEdit();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (root / "Scripts" / "New.scr").string());
    EXPECT_EQ(ReadText(root / "Scripts" / "New.scr"), "Wait(5);\r\n");

    fs::remove(root / "Scripts" / "New.scr");
    console->OnEdit();
    EXPECT_EQ(ReadText(root / "Scripts" / "New.scr"),
              "// Tessaly Vellora script file.\r\n// Rename this automatically created file.\r\n");
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(ScriptsDlgTest, ARunFromTheConsoleShowsItsLinesAndItsEnd) {
    Write("Scripts/long.scr", "Wait(1000);\n");
    Show();
    Select("long.scr");
    console->RunButton()->click();
    EXPECT_EQ(Buttons(), "0010");
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    EXPECT_TRUE(SpinUntil([&] { return console->CurrentLine()->text() == "Wait(1000);"; }))
        << console->CurrentLine()->text().toStdString();

    console->StopButton()->click();
    EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_TRUE(SpinUntil([&] { return Buttons() == "0101"; })) << Buttons();
    EXPECT_TRUE(console->CurrentLine()->text().isEmpty());
    EXPECT_TRUE(ui.ShownBoxes().empty());
}

TEST_F(ScriptsDlgTest, RunIsRefusedWhileAnotherRunHoldsTheInstance) {
    const std::string path = Write("Scripts/long.scr", "Wait(1000);\n");
    Show();
    Select("long.scr");
    CString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    console->RunButton()->click();
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text, "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.");
    EXPECT_EQ(Buttons(), "0101");
    EXPECT_TRUE(Script::IsScriptRunning(0, nullptr));
    Script::StopScript(0);
    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(1));
}

TEST_F(ScriptsDlgTest, ContextMenuRenamesDuplicatesAndDeletesForTheAdministrator) {
    Write("Scripts/prime.scr", "prime");
    Write("Scripts/flush.scr", "flush");
    Show();
    QListWidget* list = console->List();
    const QPoint onFirst = list->visualItemRect(list->item(0)).center();
    const QPoint belowLast = list->visualItemRect(list->item(1)).bottomLeft() + QPoint(2, 20);
    EXPECT_EQ(console->ContextMenuRow(onFirst), -1) << "no menu outside administrator mode";
    SetAdminMode(true);
    EXPECT_EQ(console->ContextMenuRow(onFirst), 0);
    EXPECT_EQ(console->ContextMenuRow(belowLast), -1);

    // Renaming onto an existing name is refused and keeps both files.
    console->renamePrompt = [](std::string* name) {
        EXPECT_EQ(*name, "flush");
        *name = "prime";
        return true;
    };
    console->OnContextCommand(ScriptsDlg::kRename, 0);
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text.rfind("rename_script_file () : unable to rename ", 0), 0u);
    EXPECT_EQ(ReadText(root / "Scripts" / "prime.scr"), "prime");
    EXPECT_EQ(ReadText(root / "Scripts" / "flush.scr"), "flush");

    console->OnContextCommand(ScriptsDlg::kDuplicate, 1);
    EXPECT_EQ(Names(), (std::vector<QString>{"flush.scr", "prime.scr", "prime_1.scr"}));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    // Declining the question keeps the file; Yes deletes it.
    ui.QueueAnswer(platform::IDNO);
    console->OnContextCommand(ScriptsDlg::kDelete, 2);
    EXPECT_TRUE(fs::exists(root / "Scripts" / "prime_1.scr"));
    ui.QueueAnswer(platform::IDYES);
    console->OnContextCommand(ScriptsDlg::kDelete, 2);
    EXPECT_FALSE(fs::exists(root / "Scripts" / "prime_1.scr"));
    EXPECT_EQ(ui.ShownBoxes().back().text, "Are you sure that you want to delete file:\n" +
                                               (root / "Scripts" / "prime_1.scr").string());
    EXPECT_EQ(Names(), (std::vector<QString>{"flush.scr", "prime.scr"}));
}

TEST(ScriptRenameDlgTest, OkTakesTheEditedNameAndCancelKeepsIt) {
    testsupport::EnsureApplication();
    ScriptRenameDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Script Rename");
    dialog.m_name = "prime";
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.NameEdit()->text(), "prime");
    dialog.NameEdit()->setText("prime fast");
    dialog.reject();
    EXPECT_EQ(dialog.m_name, "prime");
    dialog.accept();
    EXPECT_EQ(dialog.m_name, "prime fast");
}

}  // namespace
