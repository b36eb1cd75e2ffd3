// Movies made the way the era made them, in the real engine: a parent that loads its sibling,
// a game that saves, links, requests to the network, and a movie whose scripts attack the page.

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfTagCodes.h"
#include "formats/swf/SwfWriter.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playlist/ListFile.h"
#include "support/E2eSupport.h"
#include "support/FolderServer.h"
#include "support/RealFrame.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kz;
using namespace kz::test;

namespace {

constexpr int kStage = 200;

bool Write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A movie with the actions in its first frame, `frames` frames, over a white stage.
QByteArray ActionMovie(const QList<ActionWriter> &frameActions, int frames = 1,
                       const QByteArray &attributes = {}) {
    SwfWriter w(kStage, kStage, 12, 8);
    if (!attributes.isEmpty())
        w.AddTag(kTagFileAttributes, attributes);
    w.SetBackgroundColor(Qt::white);
    for (int i = 0; i < frames; ++i) {
        if (i < frameActions.size())
            w.AddTag(kTagDoAction, frameActions[i].Finished());
        w.ShowFrame();
    }
    return w.Finish(true);
}

// A movie that only fills its stage (or the columns from `left` to `right`) with a colour.
QByteArray ColourMovie(QColor colour, int left = 0, int right = kStage) {
    SwfWriter w(kStage, kStage, 12, 8);
    w.SetBackgroundColor(Qt::white);
    const auto id = w.DefinePolygon(
        {{qreal(left), 0}, {qreal(right), 0}, {qreal(right), kStage}, {qreal(left), kStage}},
        colour);
    w.Place(id, 1);
    w.ShowFrame();
    return w.Finish(true);
}

// loadMovieNum(url, level) for each pair.
ActionWriter LoadLevels(const QList<std::pair<QByteArray, int>> &loads) {
    ActionWriter a;
    for (const auto &[url, level] : loads)
        a.GetUrl(url, "_level" + QByteArray::number(level));
    return a;
}

// ExternalInterface.call(expression): the page evaluates it as a script.
ActionWriter PageScript(const QByteArray &expression) {
    ActionWriter a;
    a.PushString(expression)
        .PushInt(1)
        .GetPath("flash.external.ExternalInterface")
        .PushString("call")
        .CallMethod()
        .Pop();
    return a;
}

// so = SharedObject.getLocal(name); so.data.n = (so.data.n | 0) + 1; so.flush();
// gotoAndStop(so.data.n + 1): the frame reached tells how often the movie was played.
QByteArray SaveCounterMovie() {
    ActionWriter a;
    a.PushString("so")
        .PushString("kzsave")
        .PushInt(1)
        .PushString("SharedObject")
        .GetVariable()
        .PushString("getLocal")
        .CallMethod()
        .SetVariable();
    auto data = [](ActionWriter &w) {
        w.PushString("so").GetVariable().PushString("data").GetMember();
    };
    data(a);
    a.PushString("n");
    data(a);
    a.PushString("n").GetMember().PushInt(0).BitOr().PushInt(1).Add2().SetMember();
    a.PushInt(0).PushString("so").GetVariable().PushString("flush").CallMethod().Pop();
    data(a);
    a.PushString("n").GetMember().PushInt(1).Add2().GotoFrame2(false);
    return ActionMovie({a}, 10);
}

struct Host {
    QWidget window;
    CMedia *flash = nullptr;
    Host() {
        window.resize(kStage, kStage);
        flash = new CMedia(&window);
        flash->setGeometry(0, 0, kStage, kStage);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 5000));
    }
    bool Ready(const std::function<void()> &load) {
        QSignalSpy ready(flash, &FlashControl::MovieReady);
        load();
        return PumpUntil([&] { return ready.count() > 0; }, 30000);
    }
    bool Load(const QString &movie) {
        return Ready([&] { flash->LoadMovie(0, movie); });
    }
    QImage Shot() { return flash->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    bool Shows(QColor colour, int ms = 15000) {
        return PumpUntil([&] { return CountNear(Shot(), colour, 4) > 200; }, ms);
    }
    // The frame the movie reports, once it has stood there for half a second.
    int SettledFrame() {
        if (!PumpUntil([&] { return flash->ReportsFrames(); }, 15000))
            return -1;
        int last = flash->CurrentFrame();
        QElapsedTimer still;
        still.start();
        PumpUntil(
            [&] {
                if (flash->CurrentFrame() != last) {
                    last = flash->CurrentFrame();
                    still.restart();
                }
                return still.elapsed() > 500;
            },
            15000);
        return last;
    }
    QString PageScheme() { return flash->Page()->url().scheme(); }
};

// Counts connections made to it.
struct CountingServer {
    QTcpServer server;
    int hits = 0;
    CountingServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                ++hits;
                s->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                s->disconnectFromHost();
            }
        });
    }
    QByteArray Url(const char *path) const {
        return QByteArray("http://127.0.0.1:") + QByteArray::number(server.serverPort()) + path;
    }
};

} // namespace

// A parent loading "child.swf" into _level1 shows the child, wherever the two live: a folder,
// a list file holding both, a web server.
TEST(MovieSandboxE2e, TwoPartMovieDrawsItsChildFromEveryPlace) {
    QTemporaryDir dir;
    const QByteArray parent = ActionMovie({LoadLevels({{"child.swf", 1}})});
    ASSERT_TRUE(Write(dir.filePath("parent.swf"), parent));
    ASSERT_TRUE(Write(dir.filePath("child.swf"), ColourMovie(Qt::green)));
    const QString list = dir.filePath("both.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(dir.filePath("parent.swf"), list));
    ASSERT_TRUE(AddMovie(dir.filePath("child.swf"), list));
    FolderServer web(dir.path());
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());

    const QString extracted = dir.filePath("out/parent.swf");
    QDir().mkpath(dir.filePath("out")); // beside no child: only the list can give it
    ASSERT_TRUE(ExtractEntry(extracted, "parent.swf", list));
    const std::vector<std::pair<const char *, std::function<void(FlashControl *)>>> places = {
        {"folder", [&](FlashControl *f) { f->LoadMovie(0, dir.filePath("parent.swf")); }},
        {"list file",
         [&](FlashControl *f) {
             ListEntrySource source{list, "parent.swf", [&](const QString &e, QByteArray &b) {
                                        return ReadEntryHead(list, e, 1 << 20, b);
                                    }};
             f->LoadListEntry(extracted, source);
         }},
        {"web", [&](FlashControl *f) { f->LoadMovie(0, web.Url("parent.swf")); }},
        {"web, by its own absolute address",
         [&](FlashControl *f) { f->LoadMovie(0, web.Url("absolute.swf")); }},
    };
    ASSERT_TRUE(Write(dir.filePath("absolute.swf"),
                      ActionMovie({LoadLevels({{web.Url("child.swf").toUtf8(), 1}})})));
    for (const auto &[name, load] : places) {
        SCOPED_TRACE(name);
        Host h;
        ASSERT_TRUE(h.Ready([&] { load(h.flash); }));
        EXPECT_TRUE(h.Shows(Qt::green)) << "the child never drew";
    }
}

// Addresses that lead out of the movie's folder tree get a failed load and nothing else; the
// sibling beside them still loads.
TEST(MovieSandboxE2e, LoadsOutOfTheFolderFail) {
    QTemporaryDir dir;
    const QString movies = dir.filePath("movies");
    QDir().mkpath(movies + "/sub");
    ASSERT_TRUE(Write(dir.filePath("outside.swf"), ColourMovie(Qt::green)));
    ASSERT_TRUE(Write(movies + "/sub/blue.swf", ColourMovie(Qt::blue)));
    QFile::link(dir.filePath("outside.swf"), movies + "/link.swf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(movies + "/fifo.swf").constData(), 0600), 0);
    const QByteArray abs = QFile::encodeName(dir.filePath("outside.swf"));
    ASSERT_TRUE(Write(movies + "/parent.swf", ActionMovie({LoadLevels({{"../outside.swf", 1},
                                                                       {"%2e%2e/outside.swf", 2},
                                                                       {"file://" + abs, 3},
                                                                       {abs, 4},
                                                                       {"link.swf", 5},
                                                                       {"fifo.swf", 6},
                                                                       {"sub", 7},
                                                                       {"sub/blue.swf", 8}})})));
    Host h;
    QSignalSpy refused(h.flash, &FlashControl::AccessRefused);
    ASSERT_TRUE(h.Load(movies + "/parent.swf"));
    ASSERT_TRUE(h.Shows(Qt::blue)) << "the sibling in the tree never drew";
    QTest::qWait(2000);
    EXPECT_EQ(CountNear(h.Shot(), Qt::green, 4), 0);
    EXPECT_GE(refused.count(), 1);
    EXPECT_EQ(h.PageScheme(), "kzmovie");
}

// A save is seen by the next play of the same movie, after a restart too, and never by
// another movie. Each play runs in a program of its own over one data folder.
TEST(MovieSandboxE2e, SavesPersistPerMovie) {
    const QString movie = qEnvironmentVariable("KZ_SAVE_MOVIE");
    if (!movie.isEmpty()) {
        // The child: play the movie (as often as asked) and print the frames reached.
        const int plays = qEnvironmentVariableIntValue("KZ_SAVE_PLAYS");
        {
            Host h;
            for (int i = 0; i < plays; ++i) {
                // The play commands before a load move the control on; the new page follows.
                h.flash->StopPlay();
                h.flash->Play();
                ASSERT_TRUE(h.Load(movie));
                std::printf("FRAME %d\n", h.SettledFrame());
                if (i == 0 && qEnvironmentVariableIsSet("KZ_SAVE_DELETE")) {
                    int removed = -1;
                    h.flash->DeleteSaves(movie, {}, [&](int n) { removed = n; });
                    ASSERT_TRUE(PumpUntil([&] { return removed >= 0; }));
                    std::printf("REMOVED %d\n", removed);
                }
            }
            QTest::qWait(500);
        }
        std::fflush(stdout);
        return;
    }
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("KZ_KEEP_TEST_FILES"));
    QDir().mkpath(dir.filePath("a"));
    QDir().mkpath(dir.filePath("b"));
    const QByteArray game = SaveCounterMovie();
    ASSERT_TRUE(Write(dir.filePath("a/game.swf"), game));
    ASSERT_TRUE(Write(dir.filePath("a/other.swf"), game));
    ASSERT_TRUE(Write(dir.filePath("b/game.swf"), game));
    auto play = [&](const QString &path, int plays, bool deleteAfterFirst = false) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
        env.insert("KZ_SAVE_MOVIE", path);
        env.insert("KZ_SAVE_PLAYS", QString::number(plays));
        if (deleteAfterFirst)
            env.insert("KZ_SAVE_DELETE", "1");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=MovieSandboxE2e.SavesPersistPerMovie"});
        p.waitForFinished(120000);
        QList<int> frames;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith("FRAME "))
                frames << line.mid(6).toInt();
            else if (line.startsWith("REMOVED "))
                frames << -line.mid(8).toInt();
        return frames;
    };
    // Frames count from 0: the first play stands at the second frame.
    EXPECT_EQ(play(dir.filePath("a/game.swf"), 2), QList<int>({1, 2}));
    EXPECT_EQ(play(dir.filePath("a/game.swf"), 1), QList<int>({3})) << "lost at the restart";
    EXPECT_EQ(play(dir.filePath("a/other.swf"), 1), QList<int>({1}));
    EXPECT_EQ(play(dir.filePath("b/game.swf"), 1), QList<int>({1}));
    // A web movie's saves go with its web address, not with the cache file it plays from.
    FolderServer web(dir.filePath("a"));
    EXPECT_EQ(play(web.Url("game.swf"), 1), QList<int>({1}));
    EXPECT_EQ(play(web.Url("game.swf"), 1), QList<int>({2}));
    // "删除存档": the movie starts afresh; the other movie of its folder keeps its save.
    EXPECT_EQ(play(dir.filePath("a/game.swf"), 2, true), QList<int>({4, -1, 1}));
    EXPECT_EQ(play(dir.filePath("a/other.swf"), 1), QList<int>({2}));
    // A damaged store: the player starts and saves again.
    const QString store = dir.filePath("data/KZPlayer/engine/Local Storage/leveldb");
    int damaged = 0;
    for (const QFileInfo &file : QDir(store).entryInfoList(QDir::Files))
        damaged += Write(file.filePath(), QByteArray(4096, '\xA5'));
    EXPECT_GT(damaged, 0);
    const QList<int> after = play(dir.filePath("b/game.swf"), 2);
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after[1], after[0] + 1);
    // A store that is no folder at all is set aside.
    ASSERT_TRUE(QDir(dir.filePath("data/KZPlayer/engine")).removeRecursively());
    ASSERT_TRUE(Write(dir.filePath("data/KZPlayer/engine"), "not a folder"));
    EXPECT_EQ(play(dir.filePath("b/game.swf"), 2), QList<int>({1, 2}));
}

// Links go to the desktop's handler, one a second at most, web and mail only; the stage stays.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl &url) { urls << url; }
};

TEST(MovieSandboxE2e, LinksOpenOnTheDesktopAtMostOnceASecond) {
    LinkCatcher catcher;
    for (const char *scheme : {"http", "https", "mailto", "file", "javascript", "data"})
        QDesktopServices::setUrlHandler(scheme, &catcher, "Open");
    QTemporaryDir dir;
    ActionWriter links;
    for (const char *url : {"javascript:window.kzLinked=1", "file:///etc/passwd",
                            "data:text/html,x", "http://example.com/a", "http://example.com/b"})
        links.GetUrl(url, "_blank");
    ActionWriter self;
    self.GetUrl("mailto:kz@example.com", "_self");
    // Four frames that loop: the links again and again.
    ASSERT_TRUE(Write(dir.filePath("links.swf"), ActionMovie({links, {}, self, {}}, 4)));
    Host h;
    ASSERT_TRUE(h.Load(dir.filePath("links.swf")));
    QTest::qWait(2500);
    for (const char *scheme : {"http", "https", "mailto", "file", "javascript", "data"})
        QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_FALSE(catcher.urls.isEmpty());
    EXPECT_EQ(catcher.urls.first(), QUrl("http://example.com/a"));
    EXPECT_LE(catcher.urls.size(), 4) << "links flooded the desktop";
    for (const QUrl &u : catcher.urls)
        EXPECT_TRUE(u.scheme() == "http" || u.scheme() == "mailto") << qPrintable(u.toString());
    EXPECT_EQ(h.PageScheme(), "kzmovie");
    EXPECT_GT(h.flash->CurrentFrame(), -1);
}

// A local movie's request to the network never arrives, unless its folder is trusted; a movie
// asking for the network gets it, and loses its files.
TEST(MovieSandboxE2e, LocalMoviesReachTheNetworkOnlyWhenAllowed) {
    CountingServer server;
    QTemporaryDir dir;
    ASSERT_TRUE(Write(dir.filePath("child.swf"), ColourMovie(Qt::green)));
    const ActionWriter loads = LoadLevels({{server.Url("/ping.swf"), 1}, {"child.swf", 2}});
    ASSERT_TRUE(Write(dir.filePath("local.swf"), ActionMovie({loads})));
    // FileAttributes: the network asked for.
    ASSERT_TRUE(
        Write(dir.filePath("net.swf"), ActionMovie({loads}, 1, QByteArray("\x01\0\0\0", 4))));

    struct Case {
        const char *movie;
        bool trusted;
        bool network, files;
    };
    for (const Case &c :
         {Case{"local.swf", false, false, true}, Case{"local.swf", true, true, true},
          Case{"net.swf", false, true, false}}) {
        SCOPED_TRACE(std::string(c.movie) + (c.trusted ? " trusted" : ""));
        server.hits = 0;
        Host h;
        h.flash->SetTrustedFolders(c.trusted ? QStringList{dir.path()} : QStringList{});
        QSignalSpy refused(h.flash, &FlashControl::AccessRefused);
        ASSERT_TRUE(h.Load(dir.filePath(c.movie)));
        EXPECT_EQ(h.Shows(Qt::green, c.files ? 15000 : 3000), c.files);
        if (c.network)
            EXPECT_TRUE(PumpUntil([&] { return server.hits > 0; }, 10000));
        else
            QTest::qWait(1500);
        EXPECT_EQ(server.hits > 0, c.network);
        QStringList said;
        for (const auto &args : refused)
            said << args.at(0).toString();
        EXPECT_EQ(said.contains(NetworkRefusedText("127.0.0.1")), !c.network)
            << qPrintable(said.join("|"));
        EXPECT_EQ(said.contains(FileRefusedText("child.swf")), !c.files)
            << qPrintable(said.join("|"));
    }
}

// A movie whose scripts forge the bridge's reports, open dialogs, leave things in the page and
// try to navigate it: the player stays responsive, shows nothing, and the next movie meets a
// fresh page.
TEST(MovieSandboxE2e, AHostileMoviesScriptsStayInTheirMovie) {
    QTemporaryDir dir;
    const QByteArray forge =
        "function(){window.kzEvil=1;"
        "bridge.Metadata(seq,{numFrames:2147483648,width:1e9,height:-5,frameRate:1e9},true);"
        "bridge.Frame(seq,2147483647,epoch);bridge.Frame(seq,-3,epoch);"
        "alert('x');confirm('y');prompt('z');"
        "location.href='data:text/html,<b>gone</b>';}";
    ASSERT_TRUE(Write(dir.filePath("evil.swf"), ActionMovie({PageScript(forge)}, 3)));
    ASSERT_TRUE(Write(dir.filePath("next.swf"), ColourMovie(Qt::green)));

    RealFrame f;
    f.ctrl->PlayLocalItem(dir.filePath("evil.swf"), {});
    ASSERT_TRUE(PumpUntil([&] { return f.flash->TotalFrames() > 0; }, 30000));
    QTest::qWait(2000);
    // The window still answers and draws its trackbar.
    QElapsedTimer t;
    t.start();
    const QImage shot = f.frame->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(f.flash->TotalFrames(), 3);
    EXPECT_LE(f.flash->CurrentFrame(), 2);
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && qobject_cast<QDialog *>(w)) << qPrintable(w->objectName());
    EXPECT_EQ(f.flash->Page()->url().scheme(), "kzmovie");

    f.ctrl->PlayLocalItem(dir.filePath("next.swf"), {});
    ASSERT_TRUE(PumpUntil([&] { return f.flash->TotalFrames() == 1; }, 30000));
    QString left;
    f.flash->Page()->runJavaScript("String(typeof window.kzEvil)",
                                   [&](const QVariant &v) { left = v.toString(); });
    ASSERT_TRUE(PumpUntil([&] { return !left.isEmpty(); }));
    EXPECT_EQ(left, "undefined");
}

#include "MovieSandboxE2eTest.moc"
