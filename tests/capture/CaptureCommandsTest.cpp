// The view's capture, e-mail and save-as commands in the frame with the fake Flash control:
// when they are enabled, F8 from the play controller, what reaches the screen, the mail program
// and the save dialog, and the message without a mail program.

#include "capture/CaptureCommands.h"
#include "playback/PlayCtrlDlg.h"
#include "playlist/ListFile.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;
using test::FakeBrowserControl;
using test::FakeFlashControl;

namespace {

struct Player {
    QTemporaryDir &home = test::TestHome();
    QTemporaryDir dir;
    CMainFrame frame{test::FakeControls(), {}};
    CKZPlayerView *view = frame.View();
    CCaptureCommands *capture = view->Capture();
    QList<QRect> grabbed;
    QStringList started, errors, saveAsked;
    QString saveAnswer;
    Player() {
        frame.resize(800, 600);
        frame.show();
        view->OnInitialUpdate();
        capture->m_services.screen = [this](const QRect &) {
            CaptureScreen s;
            s.geometry = QRect(0, 0, 4000, 4000);
            s.grab = [this](const QRect &area) {
                grabbed << area;
                QImage img(area.size(), QImage::Format_RGB32);
                img.fill(Qt::darkCyan);
                return img;
            };
            return s;
        };
        capture->m_services.mail.findProgram = [](const QString &name) {
            return "/usr/bin/" + name;
        };
        capture->m_services.mail.startDetached = [this](const QString &p, const QStringList &a) {
            started << p + " " + a.join(' ');
            return true;
        };
        capture->m_services.error = [this](const QString &text) { errors << text; };
        capture->m_services.saveFile = [this](const QString &initial, const QString &filter,
                                              const QString &suffix) {
            saveAsked << initial + "|" + filter + "|" + suffix;
            return saveAnswer;
        };
        capture->m_services.urlCacheFolder = dir.filePath("cache/");
    }
    CPlayCtrlDlg *Ctrl() const { return view->PlayCtrl(); }
    bool Enabled(int id) {
        frame.Commands().UpdateAll();
        return frame.Commands().Action(id)->isEnabled();
    }
    QString Movie(const QString &name, const QByteArray &tail = {}) {
        test::SwfSpec spec;
        spec.frameCount = 20;
        const QString path = dir.filePath(name);
        test::WriteFile(path, test::BuildSwf(spec) + tail);
        return path;
    }
};

} // namespace

TEST(CaptureCommands, EnabledWhilePlayingAndMailOnlyForAWholeFile) {
    Player p;
    for (int id : {ID_CAPTURE, ID_SEND_MAIL, ID_SAVE_MOVIE_AS})
        EXPECT_FALSE(p.Enabled(id)) << "stopped: " << id;
    EXPECT_FALSE(p.frame.Commands().Execute(ID_CAPTURE));
    p.Ctrl()->PlayLocalItem(p.Movie("a.swf"), "a.swf");
    ASSERT_EQ(p.Ctrl()->m_nPlayState, kStatePlaying);
    for (int id : {ID_CAPTURE, ID_SEND_MAIL, ID_SAVE_MOVIE_AS})
        EXPECT_TRUE(p.Enabled(id)) << "playing: " << id;
    p.Ctrl()->OnPause();
    for (int id : {ID_CAPTURE, ID_SEND_MAIL, ID_SAVE_MOVIE_AS})
        EXPECT_TRUE(p.Enabled(id)) << "paused: " << id;
    // A web movie still loading: capture yes, its file not yet.
    p.Ctrl()->m_bUrlMode = true;
    p.Ctrl()->m_bFullyLoaded = false;
    EXPECT_TRUE(p.Enabled(ID_CAPTURE));
    EXPECT_FALSE(p.Enabled(ID_SEND_MAIL));
    EXPECT_FALSE(p.Enabled(ID_SAVE_MOVIE_AS));
    p.Ctrl()->m_bFullyLoaded = true;
    EXPECT_TRUE(p.Enabled(ID_SEND_MAIL));
    EXPECT_TRUE(p.Enabled(ID_SAVE_MOVIE_AS));
    p.Ctrl()->OnStop();
    EXPECT_FALSE(p.Enabled(ID_CAPTURE));
    EXPECT_EQ(p.frame.Commands().Action(ID_CAPTURE)->shortcut(), QKeySequence("F8"));
}

TEST(CaptureCommands, F8OnTheControllerAndTheMenuCaptureTheControl) {
    Player p;
    const QString folder = p.dir.filePath("shots");
    p.frame.m_settings.m_strSavedDirectory = folder;
    p.frame.m_settings.m_bSavedInFile = 1;
    p.frame.m_settings.m_bBmpFormat = 0;
    p.frame.m_settings.m_bPngFormat = 1;
    p.Ctrl()->PlayLocalItem(p.Movie("m.swf"), "m.swf");
    QTest::keyClick(p.Ctrl(), Qt::Key_F8);
    EXPECT_TRUE(p.frame.Commands().Execute(ID_CAPTURE));
    const QRect control(p.view->Flash()->mapToGlobal(QPoint(0, 0)), p.view->Flash()->size());
    EXPECT_EQ(p.grabbed, (QList<QRect>{control, control}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{"m.swf_0.png", "m.swf_1.png"}));
    EXPECT_EQ(QImage(folder + "/m.swf_1.png").size(), control.size());
}

TEST(CaptureCommands, MailAttachesTheLocalFileOrTellsThereIsNoMailProgram) {
    Player p;
    const QString movie = p.Movie("mail me.swf");
    p.Ctrl()->PlayLocalItem(movie, "mail me.swf");
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SEND_MAIL));
    EXPECT_EQ(p.started, QStringList{"/usr/bin/xdg-email --attach " + movie});

    // A movie of a list file: its temporary copy.
    const QString list = p.dir.filePath("l.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(p.Movie("inside.swf"), list));
    p.Ctrl()->PlayLocalItem(list, "inside.swf");
    ASSERT_FALSE(p.Ctrl()->m_strExtractedFile.isEmpty());
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SEND_MAIL));
    EXPECT_EQ(p.started.last(), "/usr/bin/xdg-email --attach " + p.Ctrl()->m_strExtractedFile);

    // A web movie that is not in the cache: nothing, silently.
    p.Ctrl()->m_bUrlMode = true;
    p.Ctrl()->m_bFullyLoaded = true;
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SEND_MAIL));
    EXPECT_EQ(p.started.size(), 2);
    EXPECT_TRUE(p.errors.isEmpty());
    p.Ctrl()->m_bUrlMode = false;

    p.capture->m_services.mail.findProgram = [](const QString &) { return QString(); };
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SEND_MAIL));
    EXPECT_EQ(p.errors, QStringList{"Library load fail!"});
}

TEST(CaptureCommands, TheMessageWithoutAMailProgramIsAnErrorBox) {
    Player p;
    CCaptureCommands real(static_cast<FlashControl *>(p.view->Flash()), p.view);
    real.m_services.error(QString::fromLatin1(kMailLoadFailText));
    QMessageBox *box = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
            box = b;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Library load fail!");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    box->close();
}

TEST(CaptureCommands, SaveAsCopiesOverTheChosenFileAndKeepsItOnFailure) {
    Player p;
    const QString movie = p.Movie("orig.swf", QByteArray(5000, 'm'));
    p.Ctrl()->PlayLocalItem(movie, "orig.swf");
    const QString target = p.dir.filePath("out/copy.swf");
    test::WriteFile(target, "the user's older file");

    // Cancelled: nothing.
    p.saveAnswer.clear();
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SAVE_MOVIE_AS));
    EXPECT_EQ(p.saveAsked, QStringList{movie + "|Flash Files(*.swf)|swf"});
    EXPECT_EQ(test::ReadFile(target), "the user's older file");

    p.saveAnswer = target;
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SAVE_MOVIE_AS));
    EXPECT_EQ(test::ReadFile(target), test::ReadFile(movie));

    // Saved onto itself: the movie stays whole.
    p.saveAnswer = movie;
    const QByteArray before = test::ReadFile(movie);
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SAVE_MOVIE_AS));
    EXPECT_EQ(test::ReadFile(movie), before);

    // The movie's file gone meanwhile: the copy fails and the user's file is as it was.
    test::WriteFile(target, "keep me");
    QFile::remove(movie);
    p.saveAnswer = target;
    EXPECT_TRUE(p.frame.Commands().Execute(ID_SAVE_MOVIE_AS));
    EXPECT_EQ(test::ReadFile(target), "keep me");
    EXPECT_EQ(QDir(p.dir.filePath("out")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"copy.swf"});
}
