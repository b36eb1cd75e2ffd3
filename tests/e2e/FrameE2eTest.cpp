// The real player under a display, from a private program directory and configuration: the
// first start offers the sample list, the window and the play lists come back at the next
// start, a ".tpl" start keeps its short lists, a second start's movie joins the first's play
// list, and a movie dropped on the window is appended. Screenshots of the window with the list
// bar, an open menu and the options dialog are left in the temporary folder.

#include "netsearch/ListDlg.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "platform/registry/Registry.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "settings/Settings.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "shell/OptionDlgs.h"
#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <set>

using namespace kz;

namespace {

using namespace kz::test;

// A program directory of its own: the player's binary copied (it finds its folder through its
// own path), everything it ships linked.
struct Installation {
    QTemporaryDir root;
    QString program() const { return root.filePath("bin/"); }
    QString home() const { return root.filePath("home"); }
    // The user's data folder, where the state files go.
    QString user() const { return root.filePath("home/data/KZPlayer/"); }
    Installation() {
        QDir().mkpath(program());
        const QDir bin(test::BinDir());
        for (const QString &name : bin.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (name == "KZPlayer")
                QFile::copy(bin.filePath(name), program() + name);
            else if (name != "1list.ini" && name != "2list.ini" && name != "MyFavo.tpl")
                QFile::link(bin.filePath(name), program() + name);
        }
        QFile::setPermissions(program() + "KZPlayer", QFile::permissions(bin.filePath("KZPlayer")));
        QDir().mkpath(home() + "/run");
        QFile::setPermissions(home() + "/run",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home());
        env.insert("XDG_CONFIG_HOME", home() + "/config");
        env.insert("XDG_DATA_HOME", home() + "/data");
        env.insert("XDG_CACHE_HOME", home() + "/cache");
        env.insert("XDG_RUNTIME_DIR", home() + "/run");
        env.insert("QT_LOGGING_RULES", "kz.shell.info=true");
        return env;
    }
    QString Socket() const { return home() + "/run/KZPlayer.socket"; }
    std::unique_ptr<QProcess> Start(const QStringList &args) const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Env());
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(program() + "KZPlayer", args);
        EXPECT_TRUE(p->waitForStarted());
        EXPECT_TRUE(PumpUntil([&] { return QFile::exists(Socket()); }, 60000))
            << "the player never got ready";
        return p;
    }
    // Closes the window as a session end does, and waits for the player to finish.
    static void Close(QProcess &p) {
        p.terminate();
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished(5000);
            ADD_FAILURE() << "the player did not close";
        }
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    }
    RegistryStore &Machine() {
        if (!m_machine)
            m_machine =
                std::make_unique<IniRegistryStore>(home() + "/config/KZPlayer/registry.ini");
        return *m_machine;
    }
    std::optional<std::uint32_t> Dword(const char *name) {
        auto key = Machine().OpenKey(QString::fromUtf16(kMachineKey));
        return key ? key->QueryDword(QString::fromLatin1(name)) : std::nullopt;
    }
    QStringList State(const char *name) const {
        return ReadTextRecordFile(user() + name).value_or(QStringList{"<missing>"});
    }
    std::unique_ptr<IniRegistryStore> m_machine;
};

QString CorpusMovie(int i = 0) {
    const QStringList files = test::CorpusFiles();
    return files.value(i);
}

} // namespace

TEST(FrameE2e, FirstRunWindowPlacementAndTheStateFiles) {
    Installation inst;
    ASSERT_TRUE(QFile::exists(inst.program() + "sample.tpl"));
    {
        auto p = inst.Start({});
        Installation::Close(*p);
    }
    EXPECT_EQ(inst.Dword("m_bFirstRun"), 1u) << "the very first start";
    EXPECT_EQ(inst.State("2list.ini"), QStringList{inst.program() + "sample.tpl"});
    EXPECT_EQ(inst.State("1list.ini"), QStringList{});

    // Put the window somewhere and start again: it comes back there.
    SaveWindowRect(inst.Machine(), QRect(90, 70, 760, 520));
    const QString movie = CorpusMovie();
    ASSERT_FALSE(movie.isEmpty());
    WriteTextRecordFile(inst.user() + "1list.ini", {movie});
    {
        auto p = inst.Start({});
        QThread::msleep(1500);
        Installation::Close(*p);
    }
    EXPECT_EQ(inst.Dword("m_bFirstRun"), 0u);
    EXPECT_EQ(inst.Dword("ScreenLeft"), 90u);
    EXPECT_EQ(inst.Dword("ScreenTop"), 70u);
    EXPECT_EQ(inst.Dword("ScreenRight"), 850u);
    EXPECT_EQ(inst.Dword("ScreenBottom"), 590u);
    EXPECT_EQ(inst.State("1list.ini"), QStringList{movie}) << "restored and written back";
    EXPECT_EQ(inst.State("2list.ini"), QStringList{inst.program() + "sample.tpl"})
        << "the sample is offered once";

    // A list file on the command line: neither list is restored, the close writes the short
    // lists over both files.
    {
        auto p = inst.Start({inst.program() + "sample.tpl"});
        Installation::Close(*p);
    }
    EXPECT_EQ(inst.State("1list.ini"), QStringList{});
    EXPECT_EQ(inst.State("2list.ini"), QStringList{inst.program() + "sample.tpl"});
    for (const char *name : {"1list.ini", "2list.ini"})
        EXPECT_FALSE(QFile::exists(inst.program() + name)) << "the program directory only ships";
}

TEST(FrameE2e, ASecondStartsMovieJoinsTheFirstsPlayList) {
    Installation inst;
    const QString a = CorpusMovie(0), b = CorpusMovie(1);
    ASSERT_FALSE(b.isEmpty());
    auto first = inst.Start({a});
    QProcess second;
    second.setProcessEnvironment(inst.Env());
    second.start(inst.program() + "KZPlayer", {b});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    QThread::msleep(1500);
    Installation::Close(*first);
    EXPECT_EQ(inst.State("1list.ini"), (QStringList{a, b}));
}

TEST(FrameE2e, DroppedMovieIsAppendedAndScreenshots) {
    // In this process, from a program directory and configuration of its own.
    Installation inst;
    qputenv("XDG_CONFIG_HOME", (inst.home() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (inst.home() + "/data").toUtf8());
    SetProgramDirOverride(inst.program());
    ControlFactory real;
    real.flash = [](QWidget *p) { return new CMedia(p); };
    real.browser = [](QWidget *p) { return new CExplorer1(p); };
    CMainFrame frame(real, {});
    frame.show();
    frame.View()->OnInitialUpdate();
    const int before = frame.PlayList()->RowCount();

    const QString movie = CorpusMovie(2);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(movie)});
    const QPoint at = frame.View()->mapTo(&frame, frame.View()->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &drop);
    ASSERT_EQ(frame.PlayList()->RowCount(), before + 1);
    EXPECT_EQ(frame.PlayList()->RowText(before, 0), movie);
    EXPECT_EQ(frame.PlayList()->RowText(before, 1), FileNameOf(movie));

    // Screenshots for the eye: the window with the list bar, the list menu open, the options.
    frame.PlayList()->AppendRow(inst.program() + "sample.tpl", "打开列表.swf");
    frame.SetStatusText("完成，谢谢使用Vobi Flash播放器");
    QTest::qWait(2000);
    const QString tmp = QDir::tempPath();
    QProcess::execute("import", {"-window", "root", tmp + "/kz-frame-window.png"});
    EXPECT_FALSE(QImage(tmp + "/kz-frame-window.png").isNull());
    QMenu *list = frame.SubMenu(1);
    list->popup(frame.mapToGlobal(QPoint(60, frame.menuBar()->height())));
    QTest::qWait(700);
    QProcess::execute("import", {"-window", "root", tmp + "/kz-frame-menu.png"});
    list->hide();
    CConfigDlg dlg(&frame);
    dlg.m_CloseTimeOutValue = 30;
    dlg.m_nIEFilterSize = 100;
    dlg.m_bCloseTimeout = 1;
    dlg.m_bCloseEndofPlayingList = 1;
    dlg.ToControls();
    dlg.show();
    QTest::qWait(700);
    QProcess::execute("import", {"-window", "root", tmp + "/kz-frame-options.png"});
    dlg.hide();
    CImageOptionDlg img(&frame);
    img.ToControls();
    img.show();
    QTest::qWait(700);
    QProcess::execute("import", {"-window", "root", tmp + "/kz-frame-image-options.png"});
    img.hide();
    frame.close();
    EXPECT_EQ(ReadTextRecordFile(inst.user() + "1list.ini").value_or(QStringList{}).size(), 2);
    SetProgramDirOverride(test::BinDir());
}
