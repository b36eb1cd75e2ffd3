// The Flash tools from the real player frame: "Flash工具" with two selected play-list rows (a
// movie file and a movie inside a list file), task 0 and "开始" in the modal dialog: both rows
// succeed and their sounds are in the output folder. A screenshot of the dialog is left in the
// temporary folder.

#include "playlist/DragDropListCtrl.h"
#include "playlist/ListFile.h"
#include "res/Menus.h"
#include "support/RealFrame.h"
#include "tests/tools/ToolsTestSupport.h"
#include "tools/ToolsDlg.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(ToolsE2e, FrameRunsTask0OverAMovieFileAndAListFileMovie) {
    RealFrame f;
    QTemporaryDir in;
    const QString plain = in.filePath("Tune.swf");
    const QString inner = in.filePath("Song.swf");
    ASSERT_TRUE(MakeFfmpegMovie(plain, 1.5, false)) << "ffmpeg could not make the movie";
    ASSERT_TRUE(MakeFfmpegMovie(inner, 1.0, false));
    const QString list = in.filePath("Music.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(inner, list));
    ASSERT_TRUE(QFile::remove(inner));

    CDragDropListCtrl *play = f.frame->PlayList();
    play->AppendFileRow(plain);
    play->AppendRow(list, "Song.swf");
    play->SelectOnly(0);
    play->topLevelItem(1)->setSelected(true);

    QTemporaryDir out;
    QStringList statuses;
    QString shot;
    bool driven = false;
    // The dialog runs modally, as the user sees it; this drives it from inside its loop.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(PumpUntil([] {
            return qobject_cast<CToolsDlg *>(QApplication::activeModalWidget()) != nullptr;
        }));
        auto *dlg = qobject_cast<CToolsDlg *>(QApplication::activeModalWidget());
        dlg->findChild<QLineEdit *>(QStringLiteral("IDC_%1").arg(IDC_OUTPUT_DIR))
            ->setText(out.path());
        QSignalSpy finished(dlg, &CToolsDlg::RunFinished);
        dlg->findChild<QPushButton *>(QStringLiteral("IDC_%1").arg(IDC_START))->click();
        EXPECT_TRUE(PumpUntil([&] { return !finished.isEmpty(); }, 60000));
        for (int r = 0; r < dlg->List()->rowCount(); ++r)
            statuses << dlg->List()->Status(r);
        Pump(300);
        shot = QDir::temp().filePath("kz-tools-dialog.png");
        ScreenShot(shot);
        driven = true;
        dlg->findChild<QPushButton *>(QStringLiteral("IDCANCEL"))->click();
    });
    // Whatever goes wrong above, the modal loop ends.
    QTimer::singleShot(180000, [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    ASSERT_TRUE(f.frame->Commands().Execute(ID_FRAME_FLASH_TOOLS));
    ASSERT_TRUE(driven);

    EXPECT_EQ(statuses, (QStringList{"成功", "成功"}));
    EXPECT_EQ(FilesIn(out.path()), (QStringList{"song_stream.mp3", "tune_stream.mp3"}));
    for (const QString &name : FilesIn(out.path()))
        EXPECT_TRUE(RunFfmpeg({"-xerror", "-i", out.filePath(name), "-f", "null", "-"}))
            << name.toStdString();
    // The screenshot shows the dialog over the frame: more than a blank screen.
    const QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(DistinctColours(img), 8);
}
