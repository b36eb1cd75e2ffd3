// The play lists under a real display: rows of the play list dragged with the pointer (XTEST
// through xdotool) onto a list file go into that file, as kztool then lists it; rows dragged out
// of the window leave the play list. Screenshots of the list bar with the current movie and of
// the information and rename dialogs are left in the temporary folder. A quick click selects.

#include "netsearch/ListDlg.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/ListFile.h"
#include "playlist/RenameDlg.h"
#include "playlist/TplInfmationDlg.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/FakeFlashControl.h"
#include "support/KztoolRunner.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;

namespace {

// Presses on `from`, holds past the drag delay, moves in small steps to `to` and lets go, with
// the real pointer; the event loop runs meanwhile (the drag runs its own).
bool PointerDrag(QPoint from, QPoint to) {
    QStringList args{"mousemove",
                     QString::number(from.x()),
                     QString::number(from.y()),
                     "sleep",
                     "0.3",
                     "mousedown",
                     "1",
                     "sleep",
                     "0.5"};
    const int steps = 25;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        args << "mousemove" << QString::number(p.x()) << QString::number(p.y()) << "sleep"
             << "0.04";
    }
    args << "sleep"
         << "0.3"
         << "mouseup"
         << "1";
    QProcess xdotool;
    xdotool.start("xdotool", args);
    if (!xdotool.waitForStarted())
        return false;
    QElapsedTimer t;
    t.start();
    while (xdotool.state() != QProcess::NotRunning && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    test::Pump(300);
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

QPoint RowCentre(CDragDropListCtrl &list, int row) {
    const QRect r = list.visualItemRect(list.topLevelItem(row));
    return list.viewport()->mapToGlobal(r.center());
}

QString Shot(QWidget &w, const QString &name) {
    const QString path = QDir::temp().filePath(name);
    w.grab().save(path);
    return path;
}

} // namespace

TEST(ListDragE2e, RowsDraggedOntoAListFileAndOutOfTheWindow) {
    test::TestHome();
    ASSERT_FALSE(QStandardPaths::findExecutable("xdotool").isEmpty())
        << "xdotool comes with scripts/packages.sh";
    QTemporaryDir dir;
    const QString target = dir.filePath("target.tpl");
    ASSERT_TRUE(CreateListFile(target));
    const QStringList corpus = test::CorpusFiles();
    QStringList movies;
    for (const char *name : {"first.swf", "second.swf", "third.swf"}) {
        const QString path = dir.filePath(name);
        if (corpus.isEmpty())
            test::WriteFile(path, test::BuildSwf({}));
        else
            QFile::copy(corpus.first(), path);
        movies << path;
    }

    ControlFactory fakes;
    fakes.flash = [](QWidget *p) { return new test::FakeFlashControl(p); };
    fakes.browser = [](QWidget *p) { return new test::FakeBrowserControl(p); };
    CMainFrame frame(fakes, {});
    frame.m_settings.m_bNetSearchView = 0; // the list face
    frame.ListBar()->LayOut();
    frame.setGeometry(40, 40, 900, 640);
    frame.show();
    frame.View()->OnInitialUpdate();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CDragDropListCtrl &play = *frame.PlayList();
    CDragDropListCtrl &lists = *frame.ListFileList();
    play.RemoveAllRows();
    lists.RemoveAllRows();
    for (const QString &m : movies)
        play.AppendFileRow(m);
    lists.AppendFileRow(target);
    play.SetCurrentPlayingItem(2);
    test::Pump(300);

    // Two rows onto the list file.
    play.clearSelection();
    play.topLevelItem(0)->setSelected(true);
    play.topLevelItem(1)->setSelected(true);
    ASSERT_TRUE(PointerDrag(RowCentre(play, 1), RowCentre(lists, 0)));
    const test::ToolRun run = test::RunKztool({"tpl", "list", target});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    QStringList listed = run.Lines();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"first.swf", "second.swf"}));
    EXPECT_EQ(play.RowCount(), 3) << "a copy: the play list keeps its rows";
    EXPECT_EQ(lists.SelectedRows(), QList<int>{0});

    Shot(frame, "kz-lists-frame.png");

    // A click, released at once, only selects.
    const QPoint third = RowCentre(play, 2);
    QProcess::execute("xdotool", {"mousemove", QString::number(third.x()),
                                  QString::number(third.y()), "click", "1"});
    test::Pump(500);
    EXPECT_EQ(play.SelectedRows(), QList<int>{2});
    EXPECT_EQ(play.RowCount(), 3);

    // A row dragged out of the main window leaves the play list, and only it.
    play.clearSelection();
    play.topLevelItem(0)->setSelected(true);
    const QRect screen = frame.screen()->geometry();
    const QPoint outside(std::min(screen.right() - 20, frame.frameGeometry().right() + 150),
                         std::min(screen.bottom() - 20, frame.frameGeometry().bottom() + 60));
    ASSERT_FALSE(frame.frameGeometry().contains(outside)) << "the screen is too small";
    ASSERT_TRUE(PointerDrag(RowCentre(play, 0), outside));
    ASSERT_EQ(play.RowCount(), 2);
    EXPECT_EQ(play.RowText(0, 1), "second.swf");
    EXPECT_TRUE(QFile::exists(movies[0]));
}

TEST(ListDragE2e, DialogScreenshots) {
    test::TestHome();
    QTemporaryDir dir;
    const QString list = dir.filePath("shared.tpl");
    ASSERT_TRUE(CreateListFile(list));
    const QString record = dir.filePath("KZinfo.data");
    ASSERT_TRUE(WriteTextRecordFile(
        record, {"KZNAME=小明", "KZEMAIL=xiaoming@example.org", "KZMSN=xm@example.net",
                 "KZOTHER=周末更新", "KZWEB=http://example.org/flash", "KZDETAIL=三个动画"}));
    ASSERT_TRUE(AddMovie(record, list));

    CTplInfmationDlg info;
    EXPECT_TRUE(info.ReadFrom(list));
    info.ToControls();
    info.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&info));
    test::Pump(200);
    const QImage shot = QImage(Shot(info, "kz-lists-information.png"));
    EXPECT_FALSE(shot.isNull());

    CRenameDlg rename;
    rename.m_strListFile = list;
    rename.m_strName = "movie.swf";
    rename.ToControls();
    rename.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rename));
    test::Pump(200);
    EXPECT_FALSE(QImage(Shot(rename, "kz-lists-rename.png")).isNull());
}
