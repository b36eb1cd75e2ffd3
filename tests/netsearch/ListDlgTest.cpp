// The list bar panel on the offscreen platform: its layout arithmetic, the Enter key on the two
// lists, and the search face against the loopback engine server.

#include "netsearch/ListDlg.h"
#include "netsearch/SearchHistory.h"
#include "platform/Paths.h"
#include "playlist/ListFile.h"
#include "support/FakeFlashControl.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;

namespace {} // namespace

TEST(ListDlgLayout, FacesAndTheFirstLayout) {
    // Before the main window exists the lists share the height.
    ListDlgLayout l = ComputeListDlgLayout(201, 401, 22, 24, false, false);
    EXPECT_EQ(l.movieList, QRect(0, 0, 201, 200));
    EXPECT_EQ(l.listFileList, QRect(0, 200, 201, 200));
    EXPECT_EQ(l.nameColumnWidth, 199);
    EXPECT_FALSE(l.topRowVisible);

    // The list face: e = 2a/3, f = (2a - 2e - 4)/3, truncating.
    l = ComputeListDlgLayout(200, 400, 22, 24, false, true);
    EXPECT_EQ(l.searchBox, QRect(0, 0, 133, 22));
    EXPECT_EQ(l.searchButton, QRect(135, 0, 43, 22));
    EXPECT_EQ(l.switchButton, QRect(179, 0, 21, 22));
    const int c = (400 - 22 + 2) / 2;
    EXPECT_EQ(l.movieList, QRect(0, 24, 200, c));
    EXPECT_EQ(l.listFileList, QRect(0, 24 + c, 200, c));
    EXPECT_TRUE(l.browser.isEmpty());
    EXPECT_FALSE(l.pageButtonsVisible);

    // The search face: the lists go, the page buttons and the result area come.
    l = ComputeListDlgLayout(200, 400, 22, 24, true, true);
    EXPECT_TRUE(l.movieList.isEmpty());
    EXPECT_TRUE(l.listFileList.isEmpty());
    EXPECT_EQ(l.previousPage, QRect(0, 374, 99, 24));
    EXPECT_EQ(l.nextPage, QRect(101, 374, 99, 24));
    EXPECT_EQ(l.browser, QRect(0, 24, 200, 400 - 22 - 24 - 8));

    // Degenerate sizes give empty, never negative, rectangles.
    l = ComputeListDlgLayout(-5, 3, 22, 24, true, true);
    EXPECT_GE(l.browser.height(), 0);
    EXPECT_GE(l.searchBox.width(), 0);
}

TEST(ListDlg, EnterPlaysOrOpensTheSelectedRow) {
    test::TestHome();
    QTemporaryDir dir;
    CListDlg dlg;
    bool search = false;
    int commands = 0;
    dlg.m_isNetSearchView = [&] { return search; };
    dlg.m_runNetSearchCommand = [&] {
        ++commands;
        search = !search;
        dlg.LayOut();
    };
    dlg.m_bMainWindowReady = true;
    dlg.resize(240, 480);
    dlg.show();
    dlg.LayOut();
    EXPECT_EQ(dlg.MovieList()->columnWidth(1), 238);
    EXPECT_TRUE(dlg.MovieList()->isVisible());

    QSignalSpy play(dlg.MovieList(), &CDragDropListCtrl::PlayRowRequested);
    dlg.MovieList()->AppendFileRow("/m/a.swf");
    dlg.MovieList()->AppendFileRow("/m/b.swf");
    // No selection: Enter does nothing.
    dlg.MovieList()->setFocus();
    EXPECT_FALSE(dlg.OnEnter());
    dlg.MovieList()->topLevelItem(1)->setSelected(true);
    dlg.MovieList()->topLevelItem(0)->setSelected(true);
    QTest::keyClick(dlg.MovieList(), Qt::Key_Return);
    ASSERT_EQ(play.count(), 1);
    EXPECT_EQ(play.at(0).at(0).toInt(), 0) << "the first selected row";

    // In the list-file list Enter shows the list file's movies without its information entry.
    const QString list = QDir(dir.path()).filePath("three.tpl");
    ASSERT_TRUE(CreateListFile(list));
    for (const char *name : {"x.swf", "KZinfo.data", "y.swf", "z.swf"}) {
        const QString path = dir.filePath(name);
        test::WriteFile(path, test::BuildSwf({}));
        ASSERT_TRUE(AddMovie(path, list));
    }
    dlg.ListFileList()->AppendFileRow(list);
    dlg.ListFileList()->SelectOnly(0);
    dlg.ListFileList()->setFocus();
    QTest::keyClick(dlg.ListFileList(), Qt::Key_Enter);
    EXPECT_EQ(dlg.MovieList()->RowCount(), 3);
    EXPECT_EQ(play.count(), 1);

    // Focus elsewhere: nothing.
    dlg.SearchBox()->setFocus();
    EXPECT_FALSE(dlg.OnEnter());

    // "<--" runs the frame's command, which switches the face.
    dlg.findChild<QPushButton *>("IDC_1084")->click();
    EXPECT_EQ(commands, 1);
    EXPECT_FALSE(dlg.MovieList()->isVisible());
    EXPECT_TRUE(dlg.findChild<QPushButton *>("IDC_1079")->isVisible());
    EXPECT_FALSE(dlg.findChild<QPushButton *>("IDC_1079")->isEnabled());
}

namespace {

test::TestHttpServer &EngineServer() {
    static test::TestHttpServer server(QStringLiteral("engine_test_server.py"), {});
    return server;
}

// The panel as the frame sets it up: the fake browser, the face setting and its command, the
// engine setting and the play controller's two calls.
struct SearchPanel {
    // The history and the result page go to the private home and temporary folder.
    const bool privateHome = (test::TestHome(), true);
    std::unique_ptr<CListDlg> dlg = std::make_unique<CListDlg>();
    test::FakeBrowserControl *browser = new test::FakeBrowserControl;
    bool searchView = false;
    int engine = 1;
    QStringList played;
    int resets = 0;

    SearchPanel() {
        test::ClearProxyEnvironment();
        const QString base = EngineServer().Base();
        qputenv("KZPLAYER_ENGINE_HOSTS", QStringLiteral("%1,%1,%1,%1").arg(base).toUtf8());
        qputenv("KZPLAYER_YAHOO_ROOT", base.toUtf8());
        dlg->SetBrowser(browser);
        dlg->m_isNetSearchView = [this] { return searchView; };
        dlg->m_runNetSearchCommand = [this] {
            searchView = !searchView;
            dlg->LayOut();
        };
        dlg->m_searchEngine = [this] { return engine; };
        dlg->m_playUrl = [this](const QString &url) { played << url; };
        dlg->m_resetNetItem = [this] { ++resets; };
        dlg->m_bMainWindowReady = true;
        dlg->resize(240, 480);
        dlg->show();
    }
    void Search(const QString &words) {
        dlg->SearchBox()->setEditText(words);
        dlg->SearchButton()->click();
    }
    bool Wait() {
        return test::PumpUntil([this] { return !dlg->SearchRunning(); }, 30000);
    }
    QString Movie(int n) const {
        return EngineServer().Base() + QStringLiteral("/movie/%1.swf").arg(n);
    }
};

QStringList Items(QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

} // namespace

TEST(ListDlgSearch, SearchShowsTheWaitingPageThenTheResultsAndTurnsPages) {
    ASSERT_TRUE(EngineServer().Running());
    SearchPanel p;
    EXPECT_TRUE(p.browser->localOnly) << "the result page runs no script and loads nothing remote";
    p.dlg->LayOut();
    EXPECT_TRUE(p.dlg->SearchButton()->isEnabled());

    p.Search("links20");
    // At once: the waiting page, the controls off, the search face.
    EXPECT_EQ(p.browser->navigated.value(0), ProgramDir() + "res/Vobi_Flash_Waitting.html");
    EXPECT_FALSE(p.dlg->SearchButton()->isEnabled());
    EXPECT_FALSE(p.dlg->SearchBox()->isEnabled());
    EXPECT_FALSE(p.dlg->NextPageButton()->isEnabled());
    EXPECT_TRUE(p.searchView);
    EXPECT_TRUE(p.dlg->NextPageButton()->isVisible());
    ASSERT_TRUE(p.Wait());
    EXPECT_EQ(p.browser->LocationURL(), ResultPagePath());
    ASSERT_EQ(p.dlg->ResultLinkList().size(), 20);
    EXPECT_EQ(p.dlg->ResultLinkList().first(), p.Movie(0));
    EXPECT_TRUE(p.dlg->SearchButton()->isEnabled());
    EXPECT_TRUE(p.dlg->NextPageButton()->isEnabled());
    EXPECT_FALSE(p.dlg->PreviousPageButton()->isEnabled());
    EXPECT_FALSE(p.dlg->m_bLastPage);

    // The next page: the controller forgets its place, the list is the new page's.
    p.dlg->NextPageButton()->click();
    EXPECT_EQ(p.resets, 1);
    EXPECT_TRUE(p.dlg->ResultLinkList().isEmpty());
    ASSERT_TRUE(p.Wait());
    EXPECT_EQ(p.dlg->m_nResultPage, 1);
    EXPECT_EQ(p.dlg->ResultLinkList().first(), p.Movie(20));
    EXPECT_TRUE(p.dlg->PreviousPageButton()->isEnabled());
    p.dlg->PreviousPageButton()->click();
    ASSERT_TRUE(p.Wait());
    EXPECT_EQ(p.dlg->ResultLinkList().first(), p.Movie(0));
    EXPECT_FALSE(p.dlg->PreviousPageButton()->isEnabled());

    // Fewer than 15: no next page. The engine setting is read at each search.
    p.engine = 2;
    p.Search("links14");
    ASSERT_TRUE(p.Wait());
    EXPECT_EQ(p.dlg->m_nActiveEngine, 2);
    EXPECT_EQ(p.dlg->ResultLinkList().size(), 14);
    EXPECT_FALSE(p.dlg->NextPageButton()->isEnabled());
    EXPECT_TRUE(p.dlg->m_bLastPage);
    EXPECT_TRUE(p.searchView) << "later searches leave the search face";

    // Empty words: nothing happens.
    const int navigations = int(p.browser->navigated.size());
    p.Search("   ");
    EXPECT_FALSE(p.dlg->SearchRunning());
    EXPECT_EQ(p.browser->navigated.size(), navigations);
}

TEST(ListDlgSearch, AFailedConnectionGivesTheControlsBackForEveryEngine) {
    SearchPanel p;
    qputenv("KZPLAYER_ENGINE_HOSTS", "http://127.0.0.1:1,http://127.0.0.1:1,http://127.0.0.1:1,"
                                     "http://127.0.0.1:1");
    qputenv("KZPLAYER_ARCHIVE_ROOT", "http://127.0.0.1:1");
    qputenv("KZPLAYER_WAYBACK_ROOT", "http://127.0.0.1:1");
    for (int engine = 0; engine < kEngineCount; ++engine) {
        p.engine = engine;
        p.Search("links20");
        ASSERT_TRUE(p.Wait());
        EXPECT_EQ(p.browser->LocationURL(), "about:blank") << engine;
        EXPECT_TRUE(p.dlg->SearchButton()->isEnabled()) << engine;
        EXPECT_TRUE(p.dlg->SearchBox()->isEnabled()) << engine;
        EXPECT_TRUE(p.dlg->ResultLinkList().isEmpty());
    }
    qunsetenv("KZPLAYER_ARCHIVE_ROOT");
    qunsetenv("KZPLAYER_WAYBACK_ROOT");
}

TEST(ListDlgSearch, TheBrowserShowsLocalPagesAndPlaysMovieLinks) {
    SearchPanel p;
    EXPECT_TRUE(ResultBrowserMayShow("about:blank"));
    EXPECT_TRUE(ResultBrowserMayShow(QUrl::fromLocalFile(ResultPagePath()).toString()));
    EXPECT_TRUE(ResultBrowserMayShow("file:///opt/kz/res/Vobi_Flash_Error.html"));
    EXPECT_FALSE(ResultBrowserMayShow("http://evil.example/Vobi_Flash_Error.html"));
    EXPECT_FALSE(ResultBrowserMayShow("file:///opt/kz/res/vobi_flash_error.html"));
    EXPECT_FALSE(ResultBrowserMayShow("file:///tmp/other.html"));
    EXPECT_TRUE(ResultBrowserMayShow(ResultPagePath()));
    EXPECT_FALSE(ResultBrowserMayShow("/tmp/other.html"));

    p.browser->Navigate("http://h/page.html");
    EXPECT_TRUE(p.played.isEmpty());
    EXPECT_NE(p.browser->LocationURL(), "http://h/page.html");
    p.browser->Navigate("http://h/dir/Game.SWF");
    EXPECT_EQ(p.played, QStringList{"http://h/dir/Game.SWF"});
    EXPECT_NE(p.browser->LocationURL(), "http://h/dir/Game.SWF");

    // A link of the list plays in the list's spelling.
    p.Search("links14");
    ASSERT_TRUE(p.Wait());
    const QString third = p.dlg->ResultLinkList().at(2);
    p.browser->Navigate(QUrl(third).toString(QUrl::FullyEncoded));
    EXPECT_EQ(p.played.last(), third);
}

TEST(ListDlgSearch, HistoryAndTheReloadAfterARestart) {
    ASSERT_TRUE(EngineServer().Running());
    QFile::remove(HistoryPath());
    QFile::remove(ResultPagePath());
    {
        SearchPanel p;
        // No page yet: the first search face shows an empty browser.
        p.searchView = true;
        p.dlg->LayOut();
        EXPECT_EQ(p.browser->LocationURL(), "about:blank");
        for (const char *w : {"links3", "xyz", "links3"}) {
            p.Search(w);
            ASSERT_TRUE(p.Wait());
        }
        EXPECT_EQ(Items(p.dlg->SearchBox()), QStringList({"links3", "xyz"}));
        p.Search(QStringLiteral("links3 （一）"));
        ASSERT_TRUE(p.Wait());
        EXPECT_EQ(p.dlg->ResultLinkList().size(), 3);
    }
    // A new panel: the history as it was, and the first search face lists the last results.
    SearchPanel p;
    EXPECT_EQ(Items(p.dlg->SearchBox()),
              QStringList({QStringLiteral("links3 （一）"), "links3", "xyz"}));
    EXPECT_EQ(p.dlg->SearchBox()->currentText(), QStringLiteral("links3 （一）"));
    EXPECT_TRUE(p.dlg->ResultLinkList().isEmpty());
    p.searchView = true;
    p.dlg->LayOut();
    EXPECT_EQ(p.dlg->ResultLinkList(), QStringList({p.Movie(0), p.Movie(1), p.Movie(2)}));
    EXPECT_EQ(p.browser->LocationURL(), ResultPagePath());
    // Only the first time.
    p.browser->Navigate("about:blank");
    p.dlg->LayOut();
    EXPECT_EQ(p.browser->LocationURL(), "about:blank");
}

// A history file written elsewhere may hold words twice: a search puts them at the top once.
TEST(ListDlgSearch, ASearchDropsEveryOlderCopyOfItsWords) {
    ASSERT_TRUE(EngineServer().Running());
    test::TestHome();
    ASSERT_TRUE(SaveHistory(HistoryPath(), {"a", "links3", "b", "links3", "Links3", "links3"}));
    SearchPanel p;
    ASSERT_EQ(Items(p.dlg->SearchBox()).count("links3"), 3);
    p.Search("links3");
    ASSERT_TRUE(p.Wait());
    EXPECT_EQ(Items(p.dlg->SearchBox()), QStringList({"links3", "a", "b", "Links3"}));
    EXPECT_EQ(p.dlg->SearchBox()->currentText(), "links3");
    p.dlg.reset();
    EXPECT_EQ(LoadHistory(HistoryPath()), QStringList({"links3", "a", "b", "Links3"}));
}

// Engine 5 pages through a site's captures with Next; a library that asks for a longer wait
// than we give it leaves the controls usable and says so in the status pane.
TEST(ListDlgSearch, TheLibraryEnginesPageAndReportABusyLibrary) {
    test::TestHttpServer archive(QStringLiteral("archive_test_server.py"), {});
    ASSERT_TRUE(archive.Running());
    qputenv("KZPLAYER_ARCHIVE_ROOT", archive.Base().toUtf8());
    qputenv("KZPLAYER_WAYBACK_ROOT", archive.Base().toUtf8());
    SearchPanel p;
    QStringList status;
    p.dlg->m_showStatus = [&](const QString &text) { status << text; };
    p.engine = kEngineWaybackSite;
    p.Search("flash.example.cn");
    ASSERT_TRUE(p.Wait());
    ASSERT_EQ(p.dlg->ResultLinkList().size(), 20);
    EXPECT_TRUE(p.dlg->NextPageButton()->isEnabled());
    p.dlg->NextPageButton()->click();
    ASSERT_TRUE(p.Wait());
    ASSERT_EQ(p.dlg->ResultLinkList().size(), 20);
    EXPECT_TRUE(p.dlg->ResultLinkList().first().endsWith("/http://flash.example.cn/m20.swf"));
    EXPECT_TRUE(p.dlg->PreviousPageButton()->isEnabled());
    EXPECT_TRUE(status.isEmpty());

    p.engine = kEngineArchiveFlash;
    p.Search("busylong");
    ASSERT_TRUE(p.Wait());
    EXPECT_TRUE(p.dlg->ResultLinkList().isEmpty());
    EXPECT_TRUE(p.dlg->SearchButton()->isEnabled());
    ASSERT_EQ(status.size(), 1);
    EXPECT_TRUE(status.first().contains(QStringLiteral("繁忙")));
    qunsetenv("KZPLAYER_ARCHIVE_ROOT");
    qunsetenv("KZPLAYER_WAYBACK_ROOT");
}
