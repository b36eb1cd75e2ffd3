#include "settings/Settings.h"

#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\KZVPlayer\\");

// Records the order values are read and written in, over a real store.
class RecordingStore final : public RegistryStore {
public:
    explicit RecordingStore(RegistryStore &inner) : m_inner(inner) {}
    std::unique_ptr<RegKey> OpenKey(const QString &key) override;
    QStringList log;

private:
    RegistryStore &m_inner;
};

class RecordingKey final : public RegKey {
public:
    RecordingKey(std::unique_ptr<RegKey> inner, QStringList &log)
        : m_inner(std::move(inner)), m_log(log) {}
    std::optional<std::uint32_t> QueryDword(const QString &name) const override {
        m_log << "get " + name;
        return m_inner->QueryDword(name);
    }
    std::optional<QByteArray> QueryString(const QString &name, int maxBytes) const override {
        m_log << "get " + name;
        return m_inner->QueryString(name, maxBytes);
    }
    bool SetDword(const QString &name, std::uint32_t v) override {
        m_log << "set " + name;
        return m_inner->SetDword(name, v);
    }
    bool SetString(const QString &name, const QByteArray &b) override {
        m_log << "set " + name;
        return m_inner->SetString(name, b);
    }
    bool DeleteValue(const QString &name) override { return m_inner->DeleteValue(name); }

private:
    std::unique_ptr<RegKey> m_inner;
    QStringList &m_log;
};

std::unique_ptr<RegKey> RecordingStore::OpenKey(const QString &key) {
    auto inner = m_inner.OpenKey(key);
    if (!inner)
        return nullptr;
    return std::make_unique<RecordingKey>(std::move(inner), log);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramDirOverride(m_tmp.filePath("prog"));
        QDir().mkpath(m_tmp.filePath("prog"));
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_tmp.filePath("data").toUtf8());
    }
    void TearDown() override {
        SetProgramDirOverride(QString());
        qputenv("XDG_DATA_HOME", m_savedData);
    }
    QByteArray m_savedData;
    QTemporaryDir m_tmp;
    IniRegistryStore m_store{m_tmp.filePath("cfg/registry.ini")};
    ProfileStore m_profile{m_tmp.filePath("cfg/profile.ini")};
};

} // namespace

TEST_F(SettingsTest, FirstStartUsesDefaultsAndLaterStartsSeeThePresence) {
    FrameSettings s;
    LoadFrameMachineSettings(m_store, s);
    EXPECT_EQ(s.m_bFirstRun, 1);
    EXPECT_EQ(s.m_nIEFilterSize, 100);
    EXPECT_EQ(s.m_CloseTimeOutValue, 30);
    // Captures go to the user's data folder, not where the program is.
    EXPECT_EQ(s.m_strSavedDirectory, m_tmp.filePath("data/KZPlayer/Image"));
    EXPECT_TRUE(QFileInfo(m_tmp.filePath("data/KZPlayer")).isDir());
    SaveFrameSettings(m_store, m_profile, "KZPlayer", s);
    EXPECT_EQ(m_store.OpenKey(kKey)->QueryDword("m_bFirstRun"), 1u);

    FrameSettings second;
    LoadFrameMachineSettings(m_store, second);
    EXPECT_EQ(second.m_bFirstRun, 0); // present with value 1 still counts as a later start
    SaveFrameSettings(m_store, m_profile, "KZPlayer", second);
    EXPECT_EQ(m_store.OpenKey(kKey)->QueryDword("m_bFirstRun"), 0u);
}

TEST_F(SettingsTest, ValuesRoundTripInTheirOrder) {
    RecordingStore rec(m_store);
    FrameSettings s;
    s.m_nIEFilterSize = 7;
    s.m_nSearchEngine = 3;
    s.m_CloseTimeOutValue = 0;
    s.m_bTaskBar = 1;
    s.m_bPngFormat = 1;
    s.m_strSavedDirectory = m_tmp.filePath("截图/folder");
    s.m_strTplDefaultDir = "/lists/";
    s.m_bNetSearchView = 1;
    SaveFrameSettings(rec, m_profile, "KZPlayer", s);
    const QStringList writes{"set m_nIEFilterSize", "set m_nSearchEngine", "set m_bFirstRun",
                             "set m_CloseTimeOutValue", "set m_bCloseTimeout",
                             "set m_bCloseEndofPlayingList", "set m_bTaskBar",
                             "set m_bSavedInClipboard", "set m_bSavedInFile", "set m_bBmpFormat",
                             "set m_bJpgFormat", "set m_bGifFormat", "set m_bPngFormat",
                             "set m_strSavedDirectory"};
    EXPECT_EQ(rec.log, writes);

    rec.log.clear();
    FrameSettings r;
    LoadFrameMachineSettings(rec, r);
    LoadFrameProfileSettings(m_profile, "KZPlayer", r);
    EXPECT_EQ(rec.log.first(), "get m_nIEFilterSize");
    EXPECT_EQ(rec.log[3], "get m_bCloseTimeout");
    EXPECT_EQ(rec.log.last(), "get m_strSavedDirectory");
    EXPECT_EQ(r.m_nIEFilterSize, 7);
    EXPECT_EQ(r.m_nSearchEngine, 3);
    EXPECT_EQ(r.m_CloseTimeOutValue, 0);
    EXPECT_EQ(r.CloseTimeOutMs(), 0);
    EXPECT_EQ(r.m_bTaskBar, 1);
    EXPECT_EQ(r.m_bPngFormat, 1);
    EXPECT_EQ(r.m_strSavedDirectory, s.m_strSavedDirectory);
    EXPECT_TRUE(QFileInfo(m_tmp.filePath("截图")).isDir()); // folders before the last separator
    // The capture folder reads as text in the store, without a stray terminating zero.
    const QByteArray text = test::ReadFile(m_store.Path());
    EXPECT_TRUE(text.contains("m_strSavedDirectory=sz:" + QFile::encodeName(m_tmp.path())));
    EXPECT_TRUE(text.contains("folder\n")) << text.toStdString();
    EXPECT_EQ(r.m_strTplDefaultDir, "/lists/");
    EXPECT_EQ(r.m_bNetSearchView, 1);
}

TEST_F(SettingsTest, CaptureFolderKeepsNarrowBytesAndLosesWhatGbkCannotHold) {
    const QByteArray stored = ToGbk(m_tmp.filePath("图片/x")) + QByteArray("\0junk", 5);
    EXPECT_EQ(ResolveCaptureDirectory(stored, ProgramDir()), m_tmp.filePath("图片/x"));
    // A character outside the code page does not survive the narrow store.
    FrameSettings s;
    s.m_strSavedDirectory = m_tmp.filePath(QStringLiteral("caf\u00E9\U0001F600/x"));
    SaveFrameSettings(m_store, m_profile, "KZPlayer", s);
    FrameSettings r;
    LoadFrameMachineSettings(m_store, r);
    EXPECT_NE(r.m_strSavedDirectory, s.m_strSavedDirectory);
    // A folder that cannot be made leaves the setting empty.
    ASSERT_TRUE(QFile(m_tmp.filePath("file")).open(QIODevice::WriteOnly));
    EXPECT_EQ(ResolveCaptureDirectory(ToGbk(m_tmp.filePath("file/sub/x")), ProgramDir()), "");
}

TEST_F(SettingsTest, AStoreThatCannotBeOpenedLeavesDefaultsAndSavesNothing) {
    ASSERT_TRUE(QFile(m_tmp.filePath("notadir")).open(QIODevice::WriteOnly));
    IniRegistryStore broken(m_tmp.filePath("notadir/registry.ini"));
    FrameSettings s;
    LoadFrameMachineSettings(broken, s);
    EXPECT_EQ(s.m_bFirstRun, 1);
    EXPECT_EQ(s.m_nIEFilterSize, 100);
    SaveFrameSettings(broken, m_profile, "KZPlayer", s); // silently nothing
    ControllerSettings c;
    LoadControllerSettings(broken, c);
    EXPECT_EQ(c.m_nPlayingMode, 1);
    EXPECT_FALSE(LoadWindowRect(broken));
}

TEST_F(SettingsTest, ControllerAndSoundPanelValues) {
    ControllerSettings c;
    c.m_nPlayingMode = 2;
    c.m_bAutoPlay = 1;
    c.m_nCurrentPlayingItem = 12;
    SaveControllerSettings(m_store, c);
    SoundPanelSettings snd{1};
    SaveSoundPanelSettings(m_store, snd);
    ControllerSettings rc;
    LoadControllerSettings(m_store, rc);
    EXPECT_EQ(rc.m_nPlayingMode, 2);
    EXPECT_EQ(rc.m_bAutoPlay, 1);
    EXPECT_EQ(rc.m_nCurrentPlayingItem, 12);
    SoundPanelSettings rs;
    LoadSoundPanelSettings(m_store, rs);
    EXPECT_EQ(rs.m_bGameMode, 1);
}

TEST_F(SettingsTest, WindowPlacementRules) {
    const QSize screen(1280, 800);
    // Nothing stored: half the screen plus 180 x 150, centred.
    InitialPlacement p = ComputeInitialPlacement(std::nullopt, screen);
    EXPECT_EQ(p.rect, QRect(230, 125, 820, 550));
    EXPECT_FALSE(p.maximised);

    SaveWindowRect(m_store, QRect(100, 50, 640, 480));
    const auto stored = LoadWindowRect(m_store);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->right, 740);
    p = ComputeInitialPlacement(stored, screen);
    EXPECT_EQ(p.rect, QRect(100, 50, 640, 480));

    // Minimised (negative coordinates) or larger than the screen: toolkit default, maximised.
    SaveWindowRect(m_store, QRect(-32000, -32000, 160, 28));
    p = ComputeInitialPlacement(LoadWindowRect(m_store), screen);
    EXPECT_FALSE(p.rect);
    EXPECT_TRUE(p.maximised);
    p = ComputeInitialPlacement(StoredWindowRect{0, 0, 1290, 800}, screen);
    EXPECT_TRUE(p.maximised);
    p = ComputeInitialPlacement(StoredWindowRect{0, 0, 1280, 800}, screen);
    EXPECT_EQ(p.rect, QRect(0, 0, 1280, 800));

    // One value missing counts as nothing stored.
    m_store.OpenKey(kKey)->DeleteValue("ScreenTop");
    EXPECT_FALSE(LoadWindowRect(m_store));
}
