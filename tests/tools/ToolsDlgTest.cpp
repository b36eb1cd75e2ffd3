// The tools dialog: rows from the caller's entries, the remembered folders, the task radios and
// the output controls, the list's menu and Delete key, and runs over real movies, programs,
// list files and files that are none of these, on the worker thread.

#include "tools/ToolsDlg.h"
#include "ToolsTestSupport.h"
#include "platform/Paths.h"
#include "platform/registry/Profile.h"
#include "playlist/ListFile.h"
#include "settings/Settings.h"
#include "tools/Packaging.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

const QString kSection = QStringLiteral("KZPlayer");

QString Ok() {
    return QString::fromUtf16(kStatusSucceeded);
}
QString Failed() {
    return QString::fromUtf16(kStatusFailed);
}

template <typename T> T *Control(QWidget &dlg, int id) {
    return dlg.findChild<T *>(QStringLiteral("IDC_%1").arg(id));
}

// A real movie: ffmpeg's MP3 sound stream, and an MP3 event sound of ffmpeg's frames added by
// our writer before the End tag. The event sound's frames come back in `eventFrames`.
QByteArray StreamAndEventMovie(QByteArray *eventFrames) {
    QTemporaryDir tmp;
    const QString movie = tmp.filePath("s.swf");
    const QString mp3 = tmp.filePath("e.mp3");
    if (!MakeFfmpegMovie(movie, 1.0, false) ||
        !RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=880:duration=0.5", "-c:a", "libmp3lame",
                    "-f", "mp3", "-write_xing", "0", "-id3v2_version", "0", "-write_id3v1", "0",
                    mp3}))
        return {};
    QByteArray swf = ReadFile(movie);
    *eventFrames = ReadFile(mp3);
    if (!swf.startsWith("FWS") || !swf.endsWith(QByteArray(2, '\0')) || eventFrames->isEmpty())
        return {};
    swf.chop(2);
    swf += TagBytes(Mp3SoundTag(7, *eventFrames)) + QByteArray(2, '\0');
    const quint32 length = quint32(swf.size());
    for (int i = 0; i < 4; ++i)
        swf[4 + i] = char((length >> (8 * i)) & 0xFF);
    return swf;
}

class ToolsDlg : public ::testing::Test {
protected:
    void SetUp() override {
        TestHome();
        // A fresh profile per test: the remembered folders start unset.
        QFile::remove(ProfileStore::DefaultPath());
        ASSERT_TRUE(WriteFile(TestProgramDir() + kProjectorStubName, QByteArray(1500, 'P')));
        ASSERT_TRUE(WriteFile(TestProgramDir() + kScreenSaverStubName, QByteArray(700, 'S')));
    }
    // A dialog opened with the entries, as the frame and the view open it.
    std::unique_ptr<CToolsDlg> Open(const QStringList &entries = {}) {
        auto dlg = std::make_unique<CToolsDlg>(kSection);
        dlg->m_listInputFiles = entries;
        dlg->m_services.openFiles = [this](const QString &filter) {
            m_filters << filter;
            return m_chosenFiles;
        };
        dlg->m_services.chooseFolder = [this] { return m_chosenFolder; };
        dlg->m_services.openFolder = [this](const QString &folder) {
            m_opened << folder;
            return true;
        };
        dlg->show();
        return dlg;
    }
    static bool Run(CToolsDlg &dlg) {
        QSignalSpy finished(&dlg, &CToolsDlg::RunFinished);
        dlg.OnStart();
        return PumpUntil([&] { return !finished.isEmpty(); }, 60000);
    }
    static QStringList Statuses(const CToolsDlg &dlg) {
        QStringList s;
        for (int r = 0; r < dlg.List()->rowCount(); ++r)
            s << dlg.List()->Status(r);
        return s;
    }
    QString Movie(const QString &name) {
        const QString path = m_in.filePath(name);
        SwfSpec s;
        s.tags = {StreamHeadTag(kMp3Flags), StreamBlockTag("frames"), Mp3SoundTag(1, "event")};
        EXPECT_TRUE(WriteFile(path, BuildSwf(s)));
        return path;
    }

    QTemporaryDir m_in, m_out;
    QStringList m_chosenFiles, m_filters, m_opened;
    QString m_chosenFolder;
};

} // namespace

TEST(ToolRun, EntriesPrefixesNamesAndFilters) {
    // List-file entries by the text before the last separator, in any letter case.
    EXPECT_EQ(ToolRowFromEntry("/m/Games.TPL/Intro.swf"), (ToolRow{"/m/Games.TPL", "Intro.swf"}));
    EXPECT_EQ(ToolRowFromEntry("/m/intro.swf"), (ToolRow{"/m/intro.swf", ""}));
    EXPECT_EQ(ToolRowFromEntry("/m/a.tpl"), (ToolRow{"/m/a.tpl", ""}));
    EXPECT_EQ(ToolRowFromEntry("/m/a.tpl/"), (ToolRow{"/m/a.tpl/", ""}));
    // A file added by hand under a folder named like a list file is still a file.
    EXPECT_FALSE((ToolRow{"/m/x.tpl.d/a.swf", ""}).InListFile());
    EXPECT_TRUE((ToolRow{"/m/x.tpl", "a.swf"}).InListFile());

    const ToolRow file{"/m/Intro.SWF", ""};
    EXPECT_EQ(ToolOutputPrefix(file, false, "/out"), "/out/");
    EXPECT_EQ(ToolOutputPrefix(file, false, "/out/"), "/out/");
    EXPECT_EQ(ToolOutputPrefix(file, true, "/out"), "/m/");
    EXPECT_EQ(ToolOutputPrefix(ToolRow{"/l/x.tpl", "a.swf"}, true, "/out"), "/l/");
    // No folder, or one relative to wherever the player was started: nowhere to write.
    EXPECT_EQ(ToolOutputPrefix(file, false, ""), "");
    EXPECT_EQ(ToolOutputPrefix(file, false, "out"), "");
    EXPECT_EQ(ToolOutputPrefix(ToolRow{"intro.swf", ""}, true, "/out"), "");

    EXPECT_EQ(ToolOutputBase(file), "intro");
    EXPECT_EQ(ToolOutputBase(ToolRow{"/l/X.TPL", "Big.Movie.SWF"}), "big.movie");
    EXPECT_EQ(ToolOutputBase(ToolRow{"/m/NoDot", ""}), "");

    // Entry names that would lead out of the private copy's folder are refused before
    // anything is read.
    QTemporaryDir out;
    for (const QString &name : {QStringLiteral(".."), QStringLiteral("."), QStringLiteral("a\\b")})
        EXPECT_FALSE(RunToolTask(kTaskExe, ToolRow{"/l/x.tpl", name}, out.path() + u'/'));
    EXPECT_TRUE(QDir(out.path()).isEmpty());

    EXPECT_EQ(QtFileFilter(QString::fromUtf16(kToolsFileFilter)),
              "Flash Files(*.swf);;Flash Files(*.exe)");
    EXPECT_EQ(QtFileFilter("Movies|*.swf;*.spl||"), "Movies (*.swf *.spl)");
}

TEST_F(ToolsDlg, OpensWithTheRowsTheRememberedFolderAndSizedColumns) {
    const QString home = WithTrailingSep(QDir::homePath());
    auto dlg = Open({"/m/a.swf", "/m/Games.tpl/b.swf", "/m/c.exe"});
    EXPECT_TRUE(dlg->m_listInputFiles.isEmpty());
    CToolsListCtrl *list = dlg->List();
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->Row(1), (ToolRow{"/m/Games.tpl", "b.swf"}));
    EXPECT_EQ(list->Row(2), (ToolRow{"/m/c.exe", ""}));
    EXPECT_EQ(list->ItemData(2), 2);
    EXPECT_EQ(Statuses(*dlg), (QStringList{"", "", ""}));
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "输入文件");
    EXPECT_EQ(list->horizontalHeaderItem(2)->text(), "状态");
    const int w = list->viewport()->width();
    EXPECT_GT(w, 200);
    EXPECT_EQ(list->columnWidth(0), w * 2 / 4);
    EXPECT_EQ(list->columnWidth(1), w / 4);
    // Nothing remembered yet: the home folder, task 0.
    EXPECT_EQ(dlg->m_strMp3InitDir, home);
    EXPECT_EQ(Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->text(), home);
    EXPECT_TRUE(Control<QAbstractButton>(*dlg, IDC_TASK_MP3)->isChecked());
    EXPECT_EQ(dlg->windowTitle(), "Flash工具");
}

TEST_F(ToolsDlg, TaskRadiosShowTheirFoldersAndEnableTheOutputControls) {
    ProfileStore profile;
    SaveToolsSettings(profile, kSection, ToolsSettings{"/mp3/", "/jpg/", "/exe/"});
    auto dlg = Open();
    auto *edit = Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR);
    auto *button = Control<QPushButton>(*dlg, IDC_OUTPUT_DIR_BUTTON);
    auto *same = Control<QCheckBox>(*dlg, IDC_SAME_DIR);
    EXPECT_EQ(edit->text(), "/mp3/");
    // Task 0 to task 3: the folder stays shown, the output controls are off.
    Control<QAbstractButton>(*dlg, IDC_TASK_SCREENSAVER)->click();
    EXPECT_EQ(dlg->m_nMode, kTaskScreenSaver);
    EXPECT_EQ(edit->text(), "/mp3/");
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(same->isEnabled());
    // Then task 1: the JPEG folder, controls on again.
    Control<QAbstractButton>(*dlg, IDC_TASK_JPEG)->click();
    EXPECT_EQ(edit->text(), "/jpg/");
    EXPECT_TRUE(edit->isEnabled() && button->isEnabled() && same->isEnabled());
    Control<QAbstractButton>(*dlg, IDC_TASK_EXE)->click();
    EXPECT_EQ(edit->text(), "/exe/");

    // The same-folder box turns the folder button and edit off, and on again.
    same->click();
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    same->click();
    EXPECT_TRUE(edit->isEnabled() && button->isEnabled());

    // The browser's folder is shown; browsing opens what the edit says.
    m_chosenFolder = "/picked/folder";
    button->click();
    EXPECT_EQ(edit->text(), "/picked/folder");
    m_chosenFolder.clear();
    button->click(); // cancelled
    EXPECT_EQ(edit->text(), "/picked/folder");
    edit->setText("/typed");
    Control<QPushButton>(*dlg, IDC_BROWSE_DIR)->click();
    EXPECT_EQ(m_opened, QStringList{"/typed"});
}

TEST_F(ToolsDlg, AddRemoveTheMenuAndTheDeleteKey) {
    auto dlg = Open({"/m/a.swf"});
    CToolsListCtrl *list = dlg->List();
    m_chosenFiles = {"/m/b.swf", "/m/c.exe", "/m/d.swf", "/m/e.swf"};
    Control<QPushButton>(*dlg, IDC_ADD_FILES)->click();
    EXPECT_EQ(m_filters, QStringList{"Flash Files(*.swf);;Flash Files(*.exe)"});
    ASSERT_EQ(list->rowCount(), 5);
    EXPECT_EQ(list->Row(4), (ToolRow{"/m/e.swf", ""}));
    EXPECT_EQ(list->ItemData(4), 4);

    // Menu 149: remove needs a row under the point, remove all a row at all.
    const QPoint onRow = list->visualItemRect(list->item(0, 0)).center();
    const QPoint below(5, list->viewport()->height() - 3);
    const auto enabled = [&](QPoint at) {
        std::unique_ptr<QMenu> menu(list->MakeMenu(at));
        QStringList on;
        for (QAction *a : menu->actions())
            on << a->text() + (a->isEnabled() ? "+" : "-");
        return on;
    };
    EXPECT_EQ(enabled(onRow), (QStringList{"增加+", "移除+", "移除所有+"}));
    EXPECT_EQ(enabled(below), (QStringList{"增加+", "移除-", "移除所有+"}));

    // Rows 1 and 3 selected, removed by Delete; the others keep their order.
    list->clearSelection();
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(list->model()->index(3, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->Row(0).column0, "/m/a.swf");
    EXPECT_EQ(list->Row(1).column0, "/m/c.exe");
    EXPECT_EQ(list->Row(2).column0, "/m/e.swf");

    // The menu's commands reach the dialog.
    std::unique_ptr<QMenu> menu(list->MakeMenu(onRow));
    menu->actions().at(2)->trigger();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(enabled(onRow), (QStringList{"增加+", "移除-", "移除所有-"}));
    menu->actions().at(0)->trigger();
    EXPECT_EQ(list->rowCount(), 4);
}

TEST_F(ToolsDlg, StartingAnEmptyListDoesNothing) {
    auto dlg = Open();
    QSignalSpy finished(dlg.get(), &CToolsDlg::RunFinished);
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    Control<QPushButton>(*dlg, IDC_START)->click();
    EXPECT_FALSE(dlg->Running());
    Pump(50);
    EXPECT_TRUE(finished.isEmpty());
    // Not even the folder is remembered.
    EXPECT_EQ(LoadToolsSettings(ProfileStore(), kSection).m_strMp3InitDir,
              WithTrailingSep(QDir::homePath()));
}

TEST_F(ToolsDlg, RealMovieGivesLowerCaseOutputsInAFolderWithoutTrailingSeparator) {
    QByteArray eventFrames;
    const QByteArray movie = StreamAndEventMovie(&eventFrames);
    ASSERT_FALSE(movie.isEmpty()) << "ffmpeg could not make the movie";
    const QString input = m_in.filePath("Intro.SWF");
    ASSERT_TRUE(WriteFile(input, movie));
    // The folder as a folder browser gives it: no trailing separator.
    const QString folder = m_out.filePath("Sounds");
    ASSERT_TRUE(QDir().mkpath(folder));

    auto dlg = Open({input});
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(folder);
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), QStringList{Ok()});
    EXPECT_EQ(FilesIn(folder), (QStringList{"intro_event0.mp3", "intro_stream.mp3"}));
    EXPECT_EQ(ReadFile(folder + "/intro_event0.mp3"), eventFrames);
    EXPECT_TRUE(RunFfmpeg({"-xerror", "-i", folder + "/intro_stream.mp3", "-f", "null", "-"}));
    EXPECT_TRUE(RunFfmpeg({"-xerror", "-i", folder + "/intro_event0.mp3", "-f", "null", "-"}));
    // The input is untouched and the folder is remembered as typed.
    EXPECT_EQ(ReadFile(input), movie);
    EXPECT_EQ(LoadToolsSettings(ProfileStore(), kSection).m_strMp3InitDir, folder);
    EXPECT_EQ(dlg->m_strMp3InitDir, folder);
    EXPECT_FALSE(dlg->Running());
}

TEST_F(ToolsDlg, SameFolderBoxWritesBesideEachInputAndKeepsTheRememberedFolders) {
    ProfileStore profile;
    SaveToolsSettings(profile, kSection, ToolsSettings{"/mp3/", "/jpg/", "/exe/"});
    const QString a = Movie("A.swf");
    QTemporaryDir other;
    const QString b = other.filePath("b.swf");
    ASSERT_TRUE(QFile::copy(a, b));
    auto dlg = Open({a, b});
    Control<QCheckBox>(*dlg, IDC_SAME_DIR)->click();
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText("/elsewhere");
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Ok(), Ok()}));
    EXPECT_TRUE(QFile::exists(m_in.filePath("a_stream.mp3")));
    EXPECT_TRUE(QFile::exists(other.filePath("b_event0.mp3")));
    const ToolsSettings after = LoadToolsSettings(ProfileStore(), kSection);
    EXPECT_EQ(after.m_strMp3InitDir, "/mp3/");
    EXPECT_EQ(dlg->m_strMp3InitDir, "/mp3/");
}

TEST_F(ToolsDlg, ListFileRowsWorkOnATemporaryCopyThatIsGoneAfterwards) {
    const QString list = m_in.filePath("Games.TPL");
    const QString movie = Movie("Clip.swf");
    ASSERT_TRUE(CreateListFile(list));
    ASSERT_TRUE(AddMovie(movie, list));
    const QByteArray movieBytes = ReadFile(movie);
    ASSERT_TRUE(QFile::remove(movie));
    // The player's own copy of the same entry in the temporary folder is not the tools' one.
    const QString temp = TempFolder();
    ASSERT_FALSE(temp.isEmpty());
    ASSERT_TRUE(WriteFile(temp + "Clip.swf", "playing"));
    const QStringList tempBefore = QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    auto dlg = Open({list + "/Clip.swf", list + "/Missing.swf"});
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Ok(), Failed()}));
    EXPECT_EQ(FilesIn(m_out.path()), (QStringList{"clip_event0.mp3", "clip_stream.mp3"}));
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), tempBefore);
    EXPECT_EQ(ReadFile(temp + "Clip.swf"), "playing");

    // Task 2 packages the entry under its own name, task 3 makes its screensaver.
    Control<QAbstractButton>(*dlg, IDC_TASK_EXE)->click();
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Ok(), Failed()}));
    const QByteArray program = ReadFile(m_out.filePath("clip.exe"));
    EXPECT_EQ(program.size(), 1500 + movieBytes.size() + 8);
    EXPECT_EQ(program.mid(1500, movieBytes.size()), movieBytes);
    Control<QAbstractButton>(*dlg, IDC_TASK_SCREENSAVER)->click();
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Ok(), Failed()}));
    EXPECT_TRUE(QFile::exists(ScreenSaverFolder() + "clip.scr"));
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), tempBefore);
}

TEST_F(ToolsDlg, WhatIsNoMovieFailsWithoutOutputAndTask2PackagesAnythingButPrograms) {
    const QString text = m_in.filePath("notes.txt");
    ASSERT_TRUE(WriteFile(text, "just some words, no movie"));
    const QString movie = Movie("Intro.swf");
    auto dlg = Open({text, m_in.filePath("gone.swf"), movie});
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Failed(), Failed(), Ok()}));
    Control<QAbstractButton>(*dlg, IDC_TASK_JPEG)->click();
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    ASSERT_TRUE(Run(*dlg));
    // The movie holds no image either.
    EXPECT_EQ(Statuses(*dlg), (QStringList{Failed(), Failed(), Failed()}));
    EXPECT_EQ(FilesIn(m_out.path()), (QStringList{"intro_event0.mp3", "intro_stream.mp3"}));

    // Task 2: the text becomes a program, the program Intro.EXE a movie again.
    Control<QAbstractButton>(*dlg, IDC_TASK_EXE)->click();
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), (QStringList{Ok(), Failed(), Ok()}));
    EXPECT_EQ(ReadFile(m_out.filePath("notes.exe")).mid(1500, 25), "just some words, no movie");
    const QString program = m_in.filePath("Intro.EXE");
    ASSERT_TRUE(QFile::rename(m_out.filePath("intro.exe"), program));
    dlg->OnRemoveAll();
    m_chosenFiles = {program};
    dlg->OnAddFiles();
    QTemporaryDir back;
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(back.path());
    ASSERT_TRUE(Run(*dlg));
    EXPECT_EQ(Statuses(*dlg), QStringList{Ok()});
    EXPECT_EQ(ReadFile(back.filePath("intro.swf")), ReadFile(movie));
}

TEST_F(ToolsDlg, InstallScreenSaverStartsTheDesktopsSettings) {
    FakeLauncher launcher;
    LauncherScope scope(&launcher);
    launcher.installed = {"xscreensaver-settings"};
    auto dlg = Open();
    Control<QPushButton>(*dlg, IDC_INSTALL_SCREENSAVER)->click();
    ASSERT_EQ(launcher.started.size(), 1);
    EXPECT_EQ(launcher.started[0].program, "/fake/bin/xscreensaver-settings");
}

TEST_F(ToolsDlg, ExitDuringARunStopsAfterTheCurrentFileAndCloses) {
    const QString movie = Movie("m.swf");
    QStringList entries;
    for (int i = 0; i < 40; ++i) {
        const QString copy = m_in.filePath(QStringLiteral("m%1.swf").arg(i));
        ASSERT_TRUE(QFile::copy(movie, copy));
        entries << copy;
    }
    auto dlg = Open(entries);
    Control<QLineEdit>(*dlg, IDC_OUTPUT_DIR)->setText(m_out.path());
    QSignalSpy finished(dlg.get(), &CToolsDlg::RunFinished);
    dlg->OnStart();
    ASSERT_TRUE(dlg->Running());
    ASSERT_TRUE(PumpUntil([&] { return !dlg->List()->Status(0).isEmpty(); }));
    // While it runs, the list cannot change and nothing else starts.
    EXPECT_FALSE(Control<QPushButton>(*dlg, IDC_START)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(*dlg, IDC_ADD_FILES)->isEnabled());
    dlg->OnRemoveAll();
    EXPECT_EQ(dlg->List()->rowCount(), 40);
    dlg->findChild<QPushButton *>("IDCANCEL")->click();
    ASSERT_TRUE(PumpUntil([&] { return !finished.isEmpty(); }, 60000));
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    // Rows were done in order: some succeeded, the rest never started.
    const QStringList statuses = Statuses(*dlg);
    const int done = int(statuses.count(Ok()));
    EXPECT_GE(done, 1);
    for (int r = 0; r < statuses.size(); ++r)
        EXPECT_EQ(statuses[r], r < done ? Ok() : QString()) << r;
    EXPECT_EQ(FilesIn(m_out.path()).size(), 2 * done);
}
