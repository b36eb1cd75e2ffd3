#include "projector/Projector.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

TEST(Projector, ModeFollowsTheFileNameAndTheSwitches) {
    EXPECT_EQ(DecideProjectorMode("/out/intro.exe", {}), ProjectorMode::Window);
    EXPECT_EQ(DecideProjectorMode("/out/intro", {}), ProjectorMode::Window);
    EXPECT_EQ(DecideProjectorMode("/ss/intro.scr", {}), ProjectorMode::ScreenSaver);
    EXPECT_EQ(DecideProjectorMode("/ss/INTRO.SCR", {}), ProjectorMode::ScreenSaver);
    EXPECT_EQ(DecideProjectorMode("/prog/VSaver.data", {}), ProjectorMode::ScreenSaver);
    EXPECT_EQ(DecideProjectorMode("/prog/Vantrel.dat", {}), ProjectorMode::Window);
    EXPECT_EQ(DecideProjectorMode("/out/intro.exe", {"/S"}), ProjectorMode::ScreenSaver);
    EXPECT_EQ(DecideProjectorMode("/out/intro.exe", {"--screensaver"}), ProjectorMode::ScreenSaver);
    EXPECT_EQ(DecideProjectorMode("/ss/intro.scr", {"/p", "1234"}), ProjectorMode::Preview);
    EXPECT_EQ(DecideProjectorMode("/ss/intro.scr", {"--window"}), ProjectorMode::Window);
}

TEST(Projector, RuntimeIsLookedForInOrder) {
    QTemporaryDir env, self, built;
    const QByteArray saved = qgetenv("KZPLAYER_HOME");
    qunsetenv("KZPLAYER_HOME");
    EXPECT_EQ(FindRuntimeFolder(self.path(), built.path()), QString());
    ASSERT_TRUE(test::WriteFile(built.filePath("ruffle/ruffle.js"), "//"));
    EXPECT_EQ(FindRuntimeFolder(self.path(), built.path()), built.path() + "/");
    ASSERT_TRUE(test::WriteFile(self.filePath("ruffle/ruffle.js"), "//"));
    EXPECT_EQ(FindRuntimeFolder(self.path() + "/", built.path()), self.path() + "/");
    ASSERT_TRUE(test::WriteFile(env.filePath("ruffle/ruffle.js"), "//"));
    qputenv("KZPLAYER_HOME", env.path().toLocal8Bit());
    EXPECT_EQ(FindRuntimeFolder(self.path(), built.path()), env.path() + "/");
    // A folder without the runtime script is passed over.
    QDir().mkpath(env.filePath("ruffle2"));
    if (saved.isNull())
        qunsetenv("KZPLAYER_HOME");
    else
        qputenv("KZPLAYER_HOME", saved);
}
