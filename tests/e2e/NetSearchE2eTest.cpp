// The net search in the real player with the real browser and Flash controls: words typed into
// the list bar's search box, the waiting page, the result page with its movie links from the
// loopback engine server, a click on a link plays that movie, Next plays the next result, and
// after a restart the search face lists the last results again. Screenshots are left in the
// temporary folder.

#include "controls/MyBitmapButton.h"
#include "netsearch/Harvest.h"
#include "netsearch/ListDlg.h"
#include "support/RealFrame.h"
#include "support/TestHttpServer.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QWebEngineView *ResultView(CListDlg *panel) {
    auto *browser = qobject_cast<CExplorer1 *>(panel->Browser());
    return browser ? QWebEngineView::forPage(browser->Page()) : nullptr;
}

} // namespace

TEST(NetSearchE2e, SearchClickPlayNextAndTheResultsAfterARestart) {
    // Three real movies behind the engine's links.
    QTemporaryDir movies;
    const QStringList corpus = CorpusFiles().filter(QStringLiteral("/avm1_"));
    ASSERT_GE(corpus.size(), 3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(QFile::copy(corpus.at(i), movies.filePath(QStringLiteral("m%1.swf").arg(i))));
    TestHttpServer server(QStringLiteral("engine_test_server.py"), {"--movies", movies.path()});
    ASSERT_TRUE(server.Running());
    qputenv("KZPLAYER_ENGINE_HOSTS", QStringLiteral("%1,%1,%1,%1").arg(server.Base()).toUtf8());
    qputenv("KZPLAYER_YAHOO_ROOT", server.Base().toUtf8());
    const QString movie0 = server.Base() + "/movie/0.swf";
    const QString movie1 = server.Base() + "/movie/1.swf";
    // Screenshots go to the usual temporary folder; the result page to one of this test's own.
    const QDir shots = QDir::temp();
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    ASSERT_TRUE(ResultPagePath().startsWith(temp.path()));

    {
        RealFrame f;
        ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
        CListDlg *panel = f.frame->ListBar();
        QWebEngineView *view = ResultView(panel);
        ASSERT_TRUE(view);

        // A search whose intermediate pages never answer shows the waiting page until their
        // deadline, then an empty finished page.
        f.frame->m_settings.m_nSearchEngine = 0;
        panel->m_searchLimits.linkDeadlineMs = 6000;
        QTest::keyClicks(panel->SearchBox()->lineEdit(), "stall");
        QTest::mouseClick(panel->SearchButton(), Qt::LeftButton);
        EXPECT_EQ(f.frame->m_settings.m_bNetSearchView, 1) << "the first search shows the face";
        ASSERT_TRUE(PumpUntil(
            [&] { return view->page()->url().toString().endsWith("Vobi_Flash_Waitting.html"); },
            5000));
        Pump(700);
        ScreenShot(shots.filePath("kz-netsearch-waiting.png"));
        EXPECT_TRUE(panel->SearchRunning());
        ASSERT_TRUE(PumpUntil([&] { return !panel->SearchRunning(); }, 30000));
        EXPECT_TRUE(panel->ResultLinkList().isEmpty());
        EXPECT_TRUE(panel->SearchButton()->isEnabled());

        f.frame->m_settings.m_nSearchEngine = 2;
        panel->SearchBox()->lineEdit()->clear();
        QStringList shown; // the pages whose loads started
        bool resultsLoaded = false;
        const QUrl resultPage = QUrl::fromLocalFile(ResultPagePath());
        QObject::connect(view->page(), &QWebEnginePage::loadingChanged,
                         [&](const QWebEngineLoadingInfo &info) {
                             if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
                                 shown << info.url().toString();
                             if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus &&
                                 info.url() == resultPage)
                                 resultsLoaded = true;
                         });

        QTest::keyClicks(panel->SearchBox()->lineEdit(), "links3 game");
        QTest::mouseClick(panel->SearchButton(), Qt::LeftButton);
        EXPECT_FALSE(panel->SearchButton()->isEnabled());

        ASSERT_TRUE(PumpUntil([&] { return !panel->SearchRunning(); }, 30000));
        ASSERT_TRUE(PumpUntil([&] { return resultsLoaded; }, 15000))
            << shown.join(' ').toStdString();
        EXPECT_EQ(panel->ResultLinkList(),
                  QStringList({movie0, movie1, server.Base() + "/movie/2.swf"}));
        Pump(500);
        ScreenShot(shots.filePath("kz-netsearch-results.png"));
        // What the page shows: the three links' texts and nothing else.
        QString text;
        view->page()->toPlainText([&](const QString &t) { text = t; });
        ASSERT_TRUE(PumpUntil([&] { return !text.isEmpty(); }, 5000));
        EXPECT_EQ(text.simplified(), "Movie 0 Movie 1 Movie 2");

        // A click on the first link plays it: the browser stays, the movie loads.
        QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(24, 16));
        ASSERT_TRUE(PumpUntil([&] { return f.flash->Movie() == movie0; }, 15000))
            << f.flash->Movie().toStdString();
        EXPECT_EQ(view->page()->url(), QUrl::fromLocalFile(ResultPagePath()));
        EXPECT_TRUE(f.ctrl->m_bUrlMode);
        EXPECT_EQ(f.ctrl->m_nCurrentNetItem, 0);
        QProgressBar *bar = f.frame->View()->LoadingBar();
        EXPECT_TRUE(
            PumpUntil([&] { return bar->value() == 100 && f.ctrl->m_bFullyLoaded; }, 30000));
        EXPECT_TRUE(PumpUntil([&] { return !f.Info().isEmpty(); }, 10000));
        Pump(800);
        ScreenShot(shots.filePath("kz-netsearch-playing.png"));

        // Next plays the next result.
        f.frame->View()->PlayCtrl()->Button(IDC_NEXT)->click();
        ASSERT_TRUE(PumpUntil([&] { return f.flash->Movie() == movie1; }, 15000));
        EXPECT_EQ(f.ctrl->m_nCurrentNetItem, 1);
        EXPECT_TRUE(PumpUntil([&] { return f.ctrl->m_bFullyLoaded; }, 30000));
        Pump(800);
        ScreenShot(shots.filePath("kz-netsearch-next.png"));
        f.frame->close();
    }

    // A restart: the first search face reads the last result page back.
    RealFrame f;
    ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
    CListDlg *panel = f.frame->ListBar();
    EXPECT_TRUE(panel->ResultLinkList().isEmpty());
    f.frame->m_settings.m_bNetSearchView = 0;
    f.frame->OnNetSearch();
    EXPECT_EQ(panel->ResultLinkList().size(), 3);
    QWebEngineView *view = ResultView(panel);
    ASSERT_TRUE(PumpUntil(
        [&] { return view->page()->url() == QUrl::fromLocalFile(ResultPagePath()); }, 15000));
    Pump(800);
    ScreenShot(shots.filePath("kz-netsearch-restart.png"));
    f.ctrl->OnNext();
    ASSERT_TRUE(PumpUntil([&] { return f.flash->Movie() == movie0; }, 15000));
    qunsetenv("KZPLAYER_ENGINE_HOSTS");
    qunsetenv("KZPLAYER_YAHOO_ROOT");
    if (oldTemp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
}

// Engine 4: the library's Flash items from its stand-in; a click plays a movie whose download is
// redirected to the data server, and Next plays the next one (named in Chinese).
TEST(NetSearchE2e, AMovieFromTheLibraryPlays) {
    QTemporaryDir movies;
    const QStringList corpus = CorpusFiles().filter(QStringLiteral("/avm1_"));
    ASSERT_GE(corpus.size(), 1);
    ASSERT_TRUE(QFile::copy(corpus.at(0), movies.filePath(QStringLiteral("m0.swf"))));
    TestHttpServer server(QStringLiteral("archive_test_server.py"), {"--movies", movies.path()});
    ASSERT_TRUE(server.Running());
    qputenv("KZPLAYER_ARCHIVE_ROOT", server.Base().toUtf8());
    const QDir shots = QDir::temp();
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const QStringList expected = {server.Base() + "/download/badger-toons/Badger%20Dance.swf",
                                  server.Base() +
                                      "/download/badger-toons/%E4%B8%AD%E6%96%87%20%E7%8D%BE.SWF",
                                  server.Base() + "/download/badger-array/games/badger%20run.swf"};
    {
        RealFrame f;
        ASSERT_TRUE(PumpUntil([&] { return f.flash->PageReady(); }, 30000));
        CListDlg *panel = f.frame->ListBar();
        QWebEngineView *view = ResultView(panel);
        ASSERT_TRUE(view);
        bool resultsLoaded = false;
        const QUrl resultPage = QUrl::fromLocalFile(ResultPagePath());
        QObject::connect(view->page(), &QWebEnginePage::loadingChanged,
                         [&](const QWebEngineLoadingInfo &info) {
                             if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus &&
                                 info.url() == resultPage)
                                 resultsLoaded = true;
                         });
        f.frame->m_settings.m_nSearchEngine = kEngineArchiveFlash;
        QTest::keyClicks(panel->SearchBox()->lineEdit(), "badger");
        QTest::mouseClick(panel->SearchButton(), Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return !panel->SearchRunning(); }, 30000));
        ASSERT_TRUE(PumpUntil([&] { return resultsLoaded; }, 15000));
        EXPECT_EQ(panel->ResultLinkList(), expected);
        QString text;
        view->page()->toPlainText([&](const QString &t) { text = t; });
        ASSERT_TRUE(PumpUntil([&] { return !text.isEmpty(); }, 5000));
        EXPECT_TRUE(text.contains(QStringLiteral("Badger Array — badger run.swf")));

        QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(24, 16));
        ASSERT_TRUE(PumpUntil([&] { return f.flash->Movie() == expected.at(0); }, 15000))
            << f.flash->Movie().toStdString();
        EXPECT_EQ(f.ctrl->m_nCurrentNetItem, 0);
        EXPECT_TRUE(PumpUntil([&] { return f.ctrl->m_bFullyLoaded; }, 30000));
        EXPECT_TRUE(PumpUntil([&] { return !f.Info().isEmpty(); }, 10000));
        Pump(800);
        ScreenShot(shots.filePath("kz-netsearch-library.png"));
        f.frame->View()->PlayCtrl()->Button(IDC_NEXT)->click();
        ASSERT_TRUE(PumpUntil([&] { return f.flash->Movie() == expected.at(1); }, 15000));
        EXPECT_TRUE(PumpUntil([&] { return f.ctrl->m_bFullyLoaded; }, 30000));
        f.frame->close();
    }
    qunsetenv("KZPLAYER_ARCHIVE_ROOT");
    if (oldTemp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
}
