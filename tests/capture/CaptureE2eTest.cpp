// Capture and mail with the real player under the display: F8 pressed three times on a playing
// corpus movie (once the engine has reported it) writes three numbered files in each of the four
// formats with the control's size and the clipboard holds the frame (read back by xclip); full
// screen captures too; e-mail hands the movie's real local file (a web movie's cached copy) to a
// stand-in xdg-email, and without any xdg-email the error box appears.

#include "capture/CaptureCommands.h"
#include "capture/FrameCapture.h"
#include "platform/Paths.h"
#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playback/PlayCtrlDlg.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/E2eSupport.h"
#include "support/FolderServer.h"
#include "support/RealFrame.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

struct Frame : RealFrame {
    QRect ControlOnScreen() const { return QRect(flash->mapToGlobal(QPoint(0, 0)), flash->size()); }
};

// Runs a program while the event loop keeps going (the clipboard's owner must answer).
QByteArray RunPumping(const QString &program, const QStringList &args, int *exitCode = nullptr) {
    QProcess p;
    p.start(program, args);
    PumpUntil([&] { return p.state() == QProcess::NotRunning; }, 30000);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

// ImageMagick's "FORMAT WIDTH HEIGHT COLOURS".
QStringList Identify(const QString &path) {
    QProcess p;
    p.start("identify", {"-format", "%m %w %h %k", path});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(' ');
}

} // namespace

TEST(CaptureE2e, F8WritesFourFormatsAndTheClipboardHoldsTheFrame) {
    Frame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    const QString folder = f.home.filePath("shots");
    FrameSettings &s = f.frame->m_settings;
    s.m_strSavedDirectory = folder;
    s.m_bSavedInClipboard = 1;
    s.m_bSavedInFile = 1;
    s.m_bBmpFormat = s.m_bJpgFormat = s.m_bGifFormat = s.m_bPngFormat = 1;

    const QString movie = f.home.filePath("movie.swf");
    ASSERT_TRUE(QFile::copy(QDir(CorpusDir()).filePath("examples_timeline_Simple.swf"), movie));
    QSignalSpy ready(f.flash, &FlashControl::MovieReady);
    f.ctrl->PlayLocalItem(movie, "movie.swf");
    ASSERT_EQ(f.ctrl->m_nPlayState, kStatePlaying);
    // The engine's own loading picture has colours too: the pixels count only once the engine
    // has reported the movie's facts.
    ASSERT_TRUE(PumpUntil([&] { return ready.count() > 0; }, 60000));
    EXPECT_EQ(f.flash->ReadyState(), kReadyComplete);
    EXPECT_EQ(f.flash->Movie(), movie);
    // Then the movie is on the screen once the control's area shows more than its background.
    ASSERT_TRUE(PumpUntil(
        [&] {
            const QRect r = f.ControlOnScreen();
            QScreen *screen = QGuiApplication::primaryScreen();
            return DistinctColours(
                       screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage()) > 2;
        },
        60000));

    f.frame->activateWindow();
    f.frame->raise();
    PumpUntil([&] { return f.frame->isActiveWindow(); }, 5000);
    // The keys go to the movie, as after a click into it.
    f.flash->setFocus();
    for (int i = 0; i < 3; ++i) {
        RunPumping("xdotool", {"key", "F8"});
        EXPECT_TRUE(PumpUntil(
            [&] { return QDir(folder).entryList(QDir::Files).size() == 4 * (i + 1); }, 10000))
            << "F8 number " << i + 1;
        Pump(300); // the movie moves on between the captures
    }
    const QSize size = f.ControlOnScreen().size();
    const QString formats[] = {"BMP3", "JPEG", "GIF", "PNG"};
    for (int counter = 0; counter < 3; ++counter)
        for (int i = 0; i < 4; ++i) {
            const QString file =
                QString("%1/movie.swf_%2%3").arg(folder).arg(counter).arg(kCaptureExtensions[i]);
            const QStringList id = Identify(file);
            ASSERT_EQ(id.size(), 4) << file.toStdString();
            EXPECT_EQ(id[0], formats[i]) << file.toStdString();
            EXPECT_EQ(QSize(id[1].toInt(), id[2].toInt()), size) << file.toStdString();
            EXPECT_GT(id[3].toInt(), 1) << "one colour: " << file.toStdString();
        }
    // The BMP follows the display's depth.
    const QByteArray bmp = ReadFile(folder + "/movie.swf_0.bmp");
    const int depth = QGuiApplication::primaryScreen()->depth();
    EXPECT_EQ(int(quint8(bmp[28])), depth <= 24 ? 24 : 32);
    QImage(folder + "/movie.swf_2.png").save(QDir::temp().filePath("kz-capture-frame.png"));

    int code = -1;
    const QByteArray png =
        RunPumping("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}, &code);
    EXPECT_EQ(code, 0);
    const QImage clip = QImage::fromData(png, "PNG");
    EXPECT_EQ(clip.size(), size);
    EXPECT_GT(DistinctColours(clip), 1);

    // Full screen: the control's part on the screen.
    f.frame->OnViewFullScreen();
    Pump(1500);
    EXPECT_TRUE(f.frame->Commands().Execute(ID_CAPTURE));
    const QRect shown =
        ClipToScreen(f.ControlOnScreen(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_EQ(QImage(folder + "/movie.swf_3.png").size(), shown.size());
    EXPECT_GT(shown.width(), size.width());
    f.frame->OnViewFullScreen();
    // Actual size: the control at the movie's own size.
    f.frame->OnViewActualSize();
    Pump(1500);
    EXPECT_TRUE(f.frame->Commands().Execute(ID_CAPTURE));
    const QRect actual =
        ClipToScreen(f.ControlOnScreen(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_EQ(QImage(folder + "/movie.swf_4.png").size(), actual.size());
    EXPECT_GT(DistinctColours(QImage(folder + "/movie.swf_4.png")), 1);
    f.frame->OnViewActualSize();

    // Stopped: F8 does nothing.
    f.ctrl->OnStop();
    RunPumping("xdotool", {"key", "F8"});
    Pump(500);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 20);
}

TEST(CaptureE2e, MailAttachesTheCachedCopyOfAWebMovieOrTellsThereIsNoMailProgram) {
    QTemporaryDir site;
    ASSERT_TRUE(QFile::copy(QDir(CorpusDir()).filePath("examples_timeline_Simple.swf"),
                            site.filePath("web.swf")));
    FolderServer server(site.path());
    Frame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));

    // A stand-in xdg-email first on the PATH writes down its arguments.
    const QString bin = f.home.filePath("bin");
    const QString argsFile = f.home.filePath("mail-args");
    ASSERT_TRUE(WriteFile(bin + "/xdg-email",
                          QString("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '%1'\n")
                              .arg(argsFile)
                              .toUtf8()));
    QFile::setPermissions(bin + "/xdg-email",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);

    const QString url = server.Url("web.swf");
    f.ctrl->PlayUrl(url);
    ASSERT_TRUE(PumpUntil([&] { return f.ctrl->m_bFullyLoaded && f.ctrl->m_bUrlMode; }, 60000));
    ASSERT_EQ(f.flash->Movie(), url);
    EXPECT_TRUE(f.frame->Commands().Execute(ID_SEND_MAIL));
    ASSERT_TRUE(PumpUntil([&] { return ReadFile(argsFile).endsWith('\n'); }, 10000));
    const QStringList args = QString::fromUtf8(ReadFile(argsFile)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0], "--attach");
    // A copy of the cached file, in the private temporary folder.
    EXPECT_EQ(args[1], TempFolder() + "mail/web.swf");
    EXPECT_EQ(ReadFile(args[1]), ReadFile(site.filePath("web.swf")));

    // No xdg-email anywhere on the PATH: the error box.
    qputenv("PATH", f.home.filePath("nothing").toUtf8());
    EXPECT_TRUE(f.frame->Commands().Execute(ID_SEND_MAIL));
    qputenv("PATH", path);
    QMessageBox *box = nullptr;
    PumpUntil(
        [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
                    box = b;
            return box != nullptr;
        },
        5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Library load fail!");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    Pump(300);
    ScreenShot(QDir::temp().filePath("kz-capture-mail-fail.png"));
    box->close();
}
