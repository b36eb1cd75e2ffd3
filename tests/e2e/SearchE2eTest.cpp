// The folder search of the player's frame with the real controls under a display: the menu
// "工具" opened and its item clicked, the folder browser answered by the test, the play list
// filled with the corpus's playable movies (as an independent header reader sees them) in walk
// order and the count in the status pane.
// Screenshots of the open menu and of the result are left in the temporary folder.

#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "support/E2eSupport.h"
#include "support/RealFrame.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

QMenu *MenuTitled(CMainFrame &frame, const QString &title) {
    for (QAction *a : frame.menuBar()->actions())
        if (a->menu() && a->menu()->title() == title)
            return a->menu();
    return nullptr;
}

// What the search must find in a folder, by a header reader of Python's own rather than ours:
// the playable movies of at least the size limit, in byte order of their names.
QStringList IndependentlyPlayable(const QString &folder, qint64 minBytes) {
    QProcess reader;
    reader.start("/usr/bin/python3",
                 {SourceDir() + "/tests/support/swf_movies.py", folder, QString::number(minBytes)});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        ADD_FAILURE() << reader.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(SearchE2e, FolderSearchFromTheMenuFillsThePlayList) {
    QTemporaryDir movies;
    const QString root = movies.path() + "/影片";
    QDir().mkpath(root + "/sub");
    for (const QString &file : CorpusFiles()) {
        const QString copy = root + '/' + QFileInfo(file).fileName();
        ASSERT_TRUE(QFile::copy(file, copy));
    }
    QStringList expected;
    for (const QString &name : IndependentlyPlayable(root, 1024))
        expected << root + '/' + name;
    ASSERT_GT(expected.size(), 100);
    ASSERT_TRUE(QFile::copy(expected.first(), root + "/sub/UPPER.SWF"));
    expected << root + "/sub/UPPER.SWF";
    ASSERT_TRUE(WriteFile(root + "/sub/notes.swf", QByteArray(4096, 'n')));

    RealFrame f;
    f.frame->m_settings.m_nIEFilterSize = 1;
    f.frame->PlayList()->RemoveAllRows();
    f.frame->move(0, 0); // the status bar on the screen too
    PumpUntil([] { return false; }, 500);

    QMenu *tools = MenuTitled(*f.frame, "工具");
    ASSERT_NE(tools, nullptr);
    QAction *search = f.frame->Commands().Action(ID_SEARCH_DIRECTORY);
    ASSERT_TRUE(tools->actions().contains(search));
    EXPECT_EQ(search->text(), "目录搜索");
    f.frame->menuBar()->setActiveAction(tools->menuAction());
    ASSERT_TRUE(PumpUntil([&] { return tools->isVisible(); }));
    Pump(300);
    ScreenShot(QDir::temp().filePath("kz-search-menu.png"));

    // The folder browser is the toolkit's own; the test types the folder into it.
    int answered = 0;
    QTimer browser;
    QObject::connect(&browser, &QTimer::timeout, [&] {
        if (auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            ++answered;
            // Typed into its name field and confirmed with Enter, as a user would.
            if (auto *edit = dlg->findChild<QLineEdit *>("fileNameEdit")) {
                edit->setText(root);
                QTest::keyClick(edit, Qt::Key_Return);
            } else {
                dlg->selectFile(root);
                static_cast<QDialog *>(dlg)->accept();
            }
        }
    });
    browser.start(100);
    ASSERT_TRUE(search->isEnabled());
    QTest::mouseClick(tools, Qt::LeftButton, {}, tools->actionGeometry(search).center());
    ASSERT_TRUE(PumpUntil([&] { return answered > 0; }));
    browser.stop();

    const QString found = QStringLiteral("%1 Flash文件被找到。").arg(expected.size());
    ASSERT_TRUE(PumpUntil([&] { return f.frame->StatusText() == found; }, 30000))
        << f.frame->StatusText().toStdString();
    QStringList rows;
    for (int i = 0; i < f.frame->PlayList()->RowCount(); ++i)
        rows << f.frame->PlayList()->RowText(i, 0);
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(f.frame->PlayList()->RowText(rows.size() - 1, 1), "UPPER.SWF");
    EXPECT_FALSE(f.frame->TimerActive(200));
    Pump(300);
    ScreenShot(QDir::temp().filePath("kz-search-result.png"));
    f.frame->close();
}
