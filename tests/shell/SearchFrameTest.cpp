// The frame's local searches with fake controls on the offscreen platform: the commands, the
// start and end texts, timer 200, rows in the order found, one search after the other with the
// count reset, the stop at close, the disk and cache searches and the cache clean-up.

#include "netsearch/ListDlg.h"
#include "platform/http/HttpClient.h"
#include "platform/urlcache/UrlCache.h"
#include "playlist/DragDropListCtrl.h"
#include "playlist/PlayListState.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/FakeControls.h"
#include "support/FakeFlashControl.h"
#include "support/FolderServer.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

QString Cwd() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? QString::fromLocal8Bit(buf) : QString();
}

const QString kFound = QStringLiteral(" Flash文件被找到。");

struct Frame {
    std::unique_ptr<CMainFrame> frame;
    QString chosen; // what the folder browser answers
    int browsed = 0;
    explicit Frame() {
        TestHome();
        QDir(TestHome().filePath("data/KZPlayer/")).removeRecursively();
        frame = std::make_unique<CMainFrame>(test::FakeControls(), QString());
        frame->show();
        frame->View()->OnInitialUpdate();
        frame->PlayList()->RemoveAllRows();
        frame->m_settings.m_nIEFilterSize = 1; // 1024 bytes
        frame->m_services.chooseFolder = [this] {
            ++browsed;
            return chosen;
        };
    }
    CMainFrame *operator->() const { return frame.get(); }
    QStringList Paths() const {
        QStringList paths;
        for (int i = 0; i < frame->PlayList()->RowCount(); ++i)
            paths << frame->PlayList()->RowText(i, 0);
        return paths;
    }
    bool Enabled(int id) const {
        frame->Commands().UpdateAll();
        return frame->Commands().Action(id)->isEnabled();
    }
    // Until timer 200 has shown the count.
    bool WaitForCount() const {
        return PumpUntil(
            [this] { return frame->StatusText().endsWith(kFound) && !frame->TimerActive(200); });
    }
};

} // namespace

TEST(SearchFrame, FolderSearchAppendsMoviesAndShowsTheCount) {
    QTemporaryDir dir;
    const QString d = dir.path();
    ASSERT_TRUE(WriteFile(d + "/one.swf", MovieOfSize(1024)));
    ASSERT_TRUE(WriteFile(d + "/short.swf", MovieOfSize(1023)));
    ASSERT_TRUE(WriteFile(d + "/sub/TWO.SWF", MovieOfSize(5000)));
    ASSERT_TRUE(WriteFile(d + "/sub/notes.swf", QByteArray(5000, 'n')));
    const QString cwd = Cwd();

    Frame f;
    // Cancel in the folder browser ends the command.
    f->SetStatusText("准备好");
    EXPECT_TRUE(f.Enabled(ID_SEARCH_DIRECTORY));
    EXPECT_TRUE(f->Commands().Execute(ID_SEARCH_DIRECTORY));
    EXPECT_EQ(f.browsed, 1);
    EXPECT_EQ(f->StatusText(), "准备好");
    EXPECT_FALSE(f->TimerActive(200));

    // While the search waits its turn it is counted, and the three searches are disabled.
    f.chosen = d;
    auto state = f->SearchState();
    {
        std::lock_guard hold(state->m_runMutex);
        EXPECT_TRUE(f->Commands().Execute(ID_SEARCH_DIRECTORY));
        EXPECT_EQ(f->StatusText(), d + " 搜索中......");
        for (int id : {ID_SEARCH_DIRECTORY, ID_SEARCH_DISK, ID_SEARCH_IE_CACHE})
            EXPECT_FALSE(f.Enabled(id)) << id;
        EXPECT_TRUE(f.Enabled(ID_DELETE_IE_CACHE_FLASH));
        EXPECT_FALSE(f->Commands().Execute(ID_SEARCH_DISK));
    }
    ASSERT_TRUE(f.WaitForCount());
    EXPECT_EQ(f->StatusText(), "2" + kFound);
    EXPECT_EQ(f->m_nFoundCount, 2);
    EXPECT_EQ(f.Paths(), (QStringList{d + "/one.swf", d + "/sub/TWO.SWF"}));
    EXPECT_EQ(f->PlayList()->RowText(1, 1), "TWO.SWF");
    EXPECT_EQ(f->PlayList()->ItemData(1), 1);
    EXPECT_TRUE(state->m_hSearchDone.IsSet());
    EXPECT_EQ(state->m_bSearching.load(), 0);
    EXPECT_TRUE(f.Enabled(ID_SEARCH_DIRECTORY));
    EXPECT_EQ(Cwd(), cwd);

    // An empty result still ends with the count.
    QTemporaryDir empty;
    f.chosen = empty.path();
    EXPECT_TRUE(f->Commands().Execute(ID_SEARCH_DIRECTORY));
    ASSERT_TRUE(f.WaitForCount());
    EXPECT_EQ(f->StatusText(), "0" + kFound);
    EXPECT_EQ(f->PlayList()->RowCount(), 2);
}

// The second search waits for the first (held inside the cache by the cache's lock) and then
// starts with its own count; the rows of both stay, in the order found.
TEST(SearchFrame, SecondSearchWaitsAndStartsWithTheCountReset) {
    ClearProxyEnvironment();
    QTemporaryDir dir;
    const QString site = dir.path() + "/site/";
    ASSERT_TRUE(WriteFile(site + "web.swf", MovieOfSize(2048)));
    ASSERT_TRUE(WriteFile(site + "web2.SWF", MovieOfSize(2048)));
    ASSERT_TRUE(WriteFile(site + "tiny.swf", MovieOfSize(100)));
    const QString cacheFolder = dir.path() + "/cache/";
    UrlCache cache(cacheFolder);
    QStringList local;
    {
        FolderServer server(site);
        auto session = CreateHttpSession({});
        for (const char *name : {"web.swf", "tiny.swf", "web2.SWF"}) {
            const auto entry = cache.Download(QUrl(server.Url(name)), *session);
            ASSERT_TRUE(entry) << name;
            local << entry->localFile;
        }
    }
    ASSERT_TRUE(WriteFile(dir.path() + "/tree/a.swf", MovieOfSize(1024)));

    Frame f;
    f->m_urlCacheFolder = cacheFolder;
    f.chosen = dir.path() + "/tree";
    auto state = f->SearchState();
    {
        QLockFile held(cacheFolder + ".index.lock");
        ASSERT_TRUE(held.lock());
        EXPECT_TRUE(f->Commands().Execute(ID_SEARCH_IE_CACHE));
        EXPECT_EQ(f->StatusText(), "IE缓存搜索中......");
        ASSERT_TRUE(PumpUntil([&] { return !state->m_hSearchDone.IsSet(); }));
        f->OnSearchDirectory(); // the command is disabled; the frame's call is not
        EXPECT_EQ(state->m_bSearching.load(), 2);
        Pump(300);
        EXPECT_EQ(f->PlayList()->RowCount(), 0);
        EXPECT_EQ(f->m_nFoundCount, 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return state->m_bSearching.load() == 0; }));
    ASSERT_TRUE(f.WaitForCount());
    EXPECT_EQ(f.Paths(), (QStringList{local[0], local[2], dir.path() + "/tree/a.swf"}));
    EXPECT_EQ(f->m_nFoundCount, 1);
    EXPECT_EQ(f->StatusText(), "1" + kFound);

    // The clean-up asks first; Cancel deletes nothing, OK deletes the cached movies.
    QStringList asked;
    bool answer = false;
    f->m_services.askOkCancel = [&](const QString &text) {
        asked << text;
        return answer;
    };
    EXPECT_TRUE(f->Commands().Execute(ID_DELETE_IE_CACHE_FLASH));
    Pump(200);
    EXPECT_EQ(asked, QStringList{"你确定删除它们吗？"});
    EXPECT_TRUE(QFileInfo::exists(local[0]));
    answer = true;
    EXPECT_TRUE(f->Commands().Execute(ID_DELETE_IE_CACHE_FLASH));
    ASSERT_TRUE(PumpUntil([&] {
        return !QFileInfo::exists(local[0]) && !QFileInfo::exists(local[1]) &&
               !QFileInfo::exists(local[2]);
    }));
    EXPECT_EQ(cache.Entries().size(), 3);
    EXPECT_EQ(f->StatusText(), "1" + kFound); // no count, no message
}

TEST(SearchFrame, DiskSearchWalksEachFixedDisk) {
    QTemporaryDir one, two;
    ASSERT_TRUE(WriteFile(one.path() + "/x/m1.swf", MovieOfSize(1500)));
    ASSERT_TRUE(WriteFile(two.path() + "/m2.swf", MovieOfSize(1500)));
    Frame f;
    QStringList roots{one.path(), two.path()};
    f->m_services.fixedDisks = [&] { return roots; };
    EXPECT_TRUE(f->Commands().Execute(ID_SEARCH_DISK));
    EXPECT_EQ(f->StatusText(), "整个硬盘搜索中......");
    ASSERT_TRUE(f.WaitForCount());
    EXPECT_EQ(f.Paths(), (QStringList{one.path() + "/x/m1.swf", two.path() + "/m2.swf"}));
    EXPECT_EQ(f->StatusText(), "2" + kFound);
    auto state = f->SearchState();
    std::lock_guard lock(state->m_mutex);
    EXPECT_EQ(state->m_strSearchFolder, two.path());
}

// Closing the frame stops a search of a large tree at once; the rows found so far stay and are
// written with the play list.
TEST(SearchFrame, CloseStopsARunningSearchAndKeepsItsRows) {
    QTemporaryDir dir;
    const QByteArray movie = MovieOfSize(1024);
    constexpr int kFolders = 200, kPerFolder = 100;
    for (int i = 0; i < kFolders; ++i) {
        const QString folder = dir.path() + QStringLiteral("/f%1/").arg(i, 3, 10, QChar('0'));
        QDir().mkpath(folder);
        for (int j = 0; j < kPerFolder; ++j) {
            QFile file(folder + QStringLiteral("m%1.swf").arg(j, 3, 10, QChar('0')));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(movie);
        }
    }
    auto f = std::make_unique<Frame>();
    f->chosen = dir.path();
    auto state = (*f)->SearchState();
    EXPECT_TRUE((*f)->Commands().Execute(ID_SEARCH_DIRECTORY));
    ASSERT_TRUE(PumpUntil([&] { return (*f)->PlayList()->RowCount() >= 10; }));
    (*f)->close();
    // The close waited for the search, and the search saw the stop within that wait.
    EXPECT_TRUE(state->m_hSearchDone.IsSet());
    const int rows = (*f)->PlayList()->RowCount();
    EXPECT_LT(rows, kFolders * kPerFolder);
    const QStringList kept = f->Paths();
    f.reset();
    ASSERT_TRUE(PumpUntil([&] { return state->m_bSearching.load() == 0; }));
    const StateFileRead written =
        ReadPlayListState(TestHome().filePath("data/KZPlayer/") + "1list.ini");
    ASSERT_GE(written.rows.size(), 10u);
    for (int i = 0; i < int(written.rows.size()); ++i)
        EXPECT_EQ(written.rows[i].column0, kept.value(i));
    EXPECT_EQ(written.rows.front().column0, dir.path() + "/f000/m000.swf");
}
