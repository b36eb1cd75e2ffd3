// The Flash tools' commands of the frame and the view with the fake controls: what each hands
// the tools dialog, when they are enabled, and "安装屏保" through the desktop's launcher.

#include "platform/Paths.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListFile.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/ToolsRoutes.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/FolderServer.h"
#include "support/TestSupport.h"
#include "tests/tools/ToolsTestSupport.h"
#include "tools/ToolsDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// The frame, with the tools dialog's rows taken when it would run instead of running it.
struct Frame {
    CMainFrame frame{test::FakeControls(), QString()};
    int dialogs = 0;
    std::vector<ToolRow> rows;
    Frame() {
        frame.show();
        frame.View()->OnInitialUpdate();
        frame.m_services.runDialog = [this](QDialog &dlg) {
            auto *tools = qobject_cast<CToolsDlg *>(&dlg);
            if (!tools)
                return int(QDialog::Rejected);
            ++dialogs;
            tools->OnInitDialog();
            rows.clear();
            for (int r = 0; r < tools->List()->rowCount(); ++r)
                rows.push_back(tools->List()->Row(r));
            return int(QDialog::Rejected);
        };
    }
    bool Enabled(int id) {
        frame.Commands().UpdateAll();
        return frame.Commands().Action(id)->isEnabled();
    }
};

QString Movie(const QString &name) {
    const QString path = TestHome().filePath("movies/" + name);
    SwfSpec fields;
    fields.frameCount = 20;
    EXPECT_TRUE(WriteFile(path, BuildSwf(fields) + QByteArray(100, '\0')));
    return path;
}

} // namespace

TEST(ToolsCommands, FrameHandsOverTheSelectedRowsAndInstallsScreenSavers) {
    TestHome();
    Frame f;
    EXPECT_TRUE(f.Enabled(ID_FRAME_FLASH_TOOLS));
    EXPECT_TRUE(f.Enabled(ID_INSTALL_SCREENSAVER));

    // No selection: the dialog opens empty.
    EXPECT_TRUE(f.frame.Commands().Execute(ID_FRAME_FLASH_TOOLS));
    EXPECT_EQ(f.dialogs, 1);
    EXPECT_TRUE(f.rows.empty());

    CDragDropListCtrl *list = f.frame.PlayList();
    list->AppendRow("/m/One.SWF", "One.SWF");
    list->AppendRow("/l/Box.TPL", "in.swf");
    list->AppendRow("/m/two.swf", "two.swf");
    list->SelectOnly(0);
    list->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(f.frame.Commands().Execute(ID_FRAME_FLASH_TOOLS));
    EXPECT_EQ(f.rows, (std::vector<ToolRow>{{"/m/One.SWF", ""}, {"/l/Box.TPL", "in.swf"}}));

    FakeLauncher launcher;
    LauncherScope scope(&launcher);
    launcher.installed = {"mate-screensaver-preferences"};
    EXPECT_TRUE(f.frame.Commands().Execute(ID_INSTALL_SCREENSAVER));
    ASSERT_EQ(launcher.started.size(), 1);
    EXPECT_EQ(launcher.started[0].program, "/fake/bin/mate-screensaver-preferences");
}

TEST(ToolsCommands, ViewHandsOverTheCurrentMovieOnlyWhileOneIsThere) {
    TestHome();
    Frame f;
    const QString file = Movie("Plain.swf");
    const QString list = TestHome().filePath("movies/Games.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(Movie("Inner.swf"), list));
    CDragDropListCtrl *play = f.frame.PlayList();
    play->AppendFileRow(file);
    play->AppendRow(list, "Inner.swf");

    // Stopped: the command is off, as save-as is.
    EXPECT_FALSE(f.Enabled(ID_VIEW_FLASH_TOOLS));
    EXPECT_EQ(CurrentMovieForTools(f.frame), QStringList());

    ASSERT_TRUE(play->PlayRow(0));
    ASSERT_TRUE(
        PumpUntil([&] { return f.frame.View()->PlayCtrl()->m_nPlayState != kStateStopped; }));
    EXPECT_TRUE(f.Enabled(ID_VIEW_FLASH_TOOLS));
    EXPECT_TRUE(f.frame.Commands().Execute(ID_VIEW_FLASH_TOOLS));
    EXPECT_EQ(f.rows, (std::vector<ToolRow>{{file, ""}}));

    // A movie from a list file is named by its row, not by the player's temporary copy.
    ASSERT_TRUE(play->PlayRow(1));
    ASSERT_TRUE(PumpUntil([&] { return f.frame.View()->PlayCtrl()->m_nCurrentPlayingItem == 1; }));
    EXPECT_TRUE(f.frame.Commands().Execute(ID_VIEW_FLASH_TOOLS));
    EXPECT_EQ(f.rows, (std::vector<ToolRow>{{list, "Inner.swf"}}));
    EXPECT_EQ(f.dialogs, 2);
}

TEST(ToolsCommands, AWebMovieWithoutACacheFileOpensNoDialog) {
    TestHome();
    Frame f;
    // A movie the server really has: an address that fails falls back to the error movie, which
    // is local, as soon as its probe reports.
    const QString movie = Movie("Web.swf");
    FolderServer server(QFileInfo(movie).path());
    f.frame.View()->Browser()->Navigate(server.Url("Web.swf"));
    CPlayCtrlDlg *ctrl = f.frame.View()->PlayCtrl();
    ASSERT_TRUE(PumpUntil([&] { return !ctrl->PlayUrlPending(); }));
    ASSERT_TRUE(ctrl->m_bUrlMode);
    // Not fully loaded: off. Fully loaded but not in the cache: nothing to hand over.
    EXPECT_FALSE(f.Enabled(ID_VIEW_FLASH_TOOLS));
    ctrl->m_bFullyLoaded = true;
    EXPECT_TRUE(f.Enabled(ID_VIEW_FLASH_TOOLS));
    EXPECT_EQ(CurrentMovieForTools(f.frame), std::nullopt);
    EXPECT_TRUE(f.frame.Commands().Execute(ID_VIEW_FLASH_TOOLS));
    EXPECT_EQ(f.dialogs, 0);
}
