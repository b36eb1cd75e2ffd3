#include "Settings.h"

#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UserDirs.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"

#include <QDir>

#include <array>
#include <utility>

namespace kz {

namespace {

QString MachineKey() {
    return QString::fromUtf16(kMachineKey);
}

using FrameDword = std::int32_t FrameSettings::*;

// The frame's DWORD values in reading order (m_bFirstRun is handled by its own rule).
const std::array<std::pair<const char *, FrameDword>, 13> kFrameReadOrder{{
    {"m_nIEFilterSize", &FrameSettings::m_nIEFilterSize},
    {"m_nSearchEngine", &FrameSettings::m_nSearchEngine},
    {"m_bFirstRun", &FrameSettings::m_bFirstRun},
    {"m_bCloseTimeout", &FrameSettings::m_bCloseTimeout},
    {"m_CloseTimeOutValue", &FrameSettings::m_CloseTimeOutValue},
    {"m_bCloseEndofPlayingList", &FrameSettings::m_bCloseEndofPlayingList},
    {"m_bTaskBar", &FrameSettings::m_bTaskBar},
    {"m_bSavedInClipboard", &FrameSettings::m_bSavedInClipboard},
    {"m_bSavedInFile", &FrameSettings::m_bSavedInFile},
    {"m_bBmpFormat", &FrameSettings::m_bBmpFormat},
    {"m_bJpgFormat", &FrameSettings::m_bJpgFormat},
    {"m_bGifFormat", &FrameSettings::m_bGifFormat},
    {"m_bPngFormat", &FrameSettings::m_bPngFormat},
}};

// Writing swaps the time-out pair.
const std::array<std::pair<const char *, FrameDword>, 13> kFrameWriteOrder{{
    {"m_nIEFilterSize", &FrameSettings::m_nIEFilterSize},
    {"m_nSearchEngine", &FrameSettings::m_nSearchEngine},
    {"m_bFirstRun", &FrameSettings::m_bFirstRun},
    {"m_CloseTimeOutValue", &FrameSettings::m_CloseTimeOutValue},
    {"m_bCloseTimeout", &FrameSettings::m_bCloseTimeout},
    {"m_bCloseEndofPlayingList", &FrameSettings::m_bCloseEndofPlayingList},
    {"m_bTaskBar", &FrameSettings::m_bTaskBar},
    {"m_bSavedInClipboard", &FrameSettings::m_bSavedInClipboard},
    {"m_bSavedInFile", &FrameSettings::m_bSavedInFile},
    {"m_bBmpFormat", &FrameSettings::m_bBmpFormat},
    {"m_bJpgFormat", &FrameSettings::m_bJpgFormat},
    {"m_bGifFormat", &FrameSettings::m_bGifFormat},
    {"m_bPngFormat", &FrameSettings::m_bPngFormat},
}};

void Query(const RegKey *key, const char *name, std::int32_t &value) {
    if (!key)
        return;
    if (const auto v = key->QueryDword(QString::fromLatin1(name)))
        value = std::int32_t(*v);
}

void Set(RegKey *key, const char *name, std::int32_t value) {
    if (key)
        key->SetDword(QString::fromLatin1(name), std::uint32_t(value));
}

} // namespace

namespace {
constexpr int kTrustedFoldersBytes = 64 * 1024;
const QString kTrustedFoldersValue = QStringLiteral("m_strTrustedFolders");
} // namespace

QStringList LoadTrustedFolders(RegistryStore &store) {
    const auto key = store.OpenKey(MachineKey());
    const auto bytes =
        key ? key->QueryString(kTrustedFoldersValue, kTrustedFoldersBytes) : std::nullopt;
    QStringList folders;
    if (!bytes)
        return folders;
    for (const QString &line : QString::fromUtf8(*bytes).split(u'\n', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(line) && !folders.contains(line))
            folders << line;
    return folders;
}

bool SaveTrustedFolders(RegistryStore &store, const QStringList &folders) {
    const auto key = store.OpenKey(MachineKey());
    const QByteArray bytes = folders.join(u'\n').toUtf8();
    return key && bytes.size() < kTrustedFoldersBytes &&
           key->SetString(kTrustedFoldersValue, bytes);
}

QString ResolveCaptureDirectory(const std::optional<QByteArray> &stored, const QString &dataDir) {
    if (stored) {
        QByteArray narrow = *stored;
        const qsizetype zero = narrow.indexOf('\0');
        if (zero >= 0)
            narrow.truncate(zero);
        const QString path = FromGbk(narrow);
        return !path.isEmpty() && MakeSureDirectoryPathExists(path) ? path : QString();
    }
    const QString image = dataDir + QStringLiteral("Image");
    // Through the code page and back, as the stored value would be.
    const QString narrowPath = FromGbk(ToGbk(image));
    return MakeSureDirectoryPathExists(narrowPath) ? narrowPath : QStringLiteral("/");
}

void LoadFrameMachineSettings(RegistryStore &store, FrameSettings &s) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    for (const auto &[name, member] : kFrameReadOrder) {
        if (member == &FrameSettings::m_bFirstRun) {
            // Its presence alone marks a later start.
            s.m_bFirstRun = key && key->QueryDword(QStringLiteral("m_bFirstRun")) ? 0 : 1;
            continue;
        }
        Query(key.get(), name, s.*member);
    }
    std::optional<QByteArray> stored;
    if (key)
        stored = key->QueryString(QStringLiteral("m_strSavedDirectory"), kSavedDirectoryBytes);
    s.m_strSavedDirectory = ResolveCaptureDirectory(stored, UserDataDir());
}

void LoadFrameProfileSettings(const ProfileStore &profile, const QString &section,
                              FrameSettings &s) {
    s.m_strSwfDefaultDir = profile.GetProfileString(section, QStringLiteral("m_strSwfDefaultDir"));
    s.m_strTplDefaultDir = profile.GetProfileString(section, QStringLiteral("m_strTplDefaultDir"));
    s.m_bNetSearchView =
        profile.GetProfileInt(section, QStringLiteral("m_bNetSearchView"), 0) != 0 ? 1 : 0;
}

void SaveFrameSettings(RegistryStore &store, ProfileStore &profile, const QString &section,
                       const FrameSettings &s) {
    {
        const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
        for (const auto &[name, member] : kFrameWriteOrder)
            Set(key.get(), name, s.*member);
        if (key) {
            // Narrow text; the store's string type stands for the terminating zero, which the
            // reader does not need (it reads up to a zero, or the end).
            key->SetString(QStringLiteral("m_strSavedDirectory"), ToGbk(s.m_strSavedDirectory));
        }
    }
    profile.WriteProfileString(section, QStringLiteral("m_strSwfDefaultDir"), s.m_strSwfDefaultDir);
    profile.WriteProfileString(section, QStringLiteral("m_strTplDefaultDir"), s.m_strTplDefaultDir);
    profile.WriteProfileInt(section, QStringLiteral("m_bNetSearchView"),
                            s.m_bNetSearchView ? 1 : 0);
    profile.Flush();
}

ToolsSettings LoadToolsSettings(const ProfileStore &profile, const QString &section) {
    const QString home = WithTrailingSep(QDir::homePath());
    ToolsSettings s;
    s.m_strMp3InitDir = profile.GetProfileString(section, QStringLiteral("m_strMp3InitDir"), home);
    s.m_strJpgInitDir = profile.GetProfileString(section, QStringLiteral("m_strJpgInitDir"), home);
    s.m_strExeInitDir = profile.GetProfileString(section, QStringLiteral("m_strExeInitDir"), home);
    return s;
}

void SaveToolsSettings(ProfileStore &profile, const QString &section, const ToolsSettings &s) {
    profile.WriteProfileString(section, QStringLiteral("m_strMp3InitDir"), s.m_strMp3InitDir);
    profile.WriteProfileString(section, QStringLiteral("m_strJpgInitDir"), s.m_strJpgInitDir);
    profile.WriteProfileString(section, QStringLiteral("m_strExeInitDir"), s.m_strExeInitDir);
    profile.Flush();
}

void LoadControllerSettings(RegistryStore &store, ControllerSettings &s) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    Query(key.get(), "m_nPlayingMode", s.m_nPlayingMode);
    Query(key.get(), "m_bAutoPlay", s.m_bAutoPlay);
    Query(key.get(), "m_nCurrentPlayingItem", s.m_nCurrentPlayingItem);
}

void SaveControllerSettings(RegistryStore &store, const ControllerSettings &s) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    Set(key.get(), "m_nPlayingMode", s.m_nPlayingMode);
    Set(key.get(), "m_bAutoPlay", s.m_bAutoPlay);
    Set(key.get(), "m_nCurrentPlayingItem", s.m_nCurrentPlayingItem);
}

void LoadSoundPanelSettings(RegistryStore &store, SoundPanelSettings &s) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    Query(key.get(), "m_bGameMode", s.m_bGameMode);
}

void SaveSoundPanelSettings(RegistryStore &store, const SoundPanelSettings &s) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    Set(key.get(), "m_bGameMode", s.m_bGameMode);
}

std::optional<StoredWindowRect> LoadWindowRect(RegistryStore &store) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    if (!key)
        return std::nullopt;
    const auto l = key->QueryDword(QStringLiteral("ScreenLeft"));
    const auto t = key->QueryDword(QStringLiteral("ScreenTop"));
    const auto r = key->QueryDword(QStringLiteral("ScreenRight"));
    const auto b = key->QueryDword(QStringLiteral("ScreenBottom"));
    if (!l || !t || !r || !b)
        return std::nullopt;
    return StoredWindowRect{std::int32_t(*l), std::int32_t(*t), std::int32_t(*r), std::int32_t(*b)};
}

void SaveWindowRect(RegistryStore &store, const QRect &frame) {
    const std::unique_ptr<RegKey> key = store.OpenKey(MachineKey());
    // Right and bottom are exclusive edges, as the window rectangle has them.
    Set(key.get(), "ScreenLeft", frame.left());
    Set(key.get(), "ScreenTop", frame.top());
    Set(key.get(), "ScreenRight", frame.left() + frame.width());
    Set(key.get(), "ScreenBottom", frame.top() + frame.height());
}

InitialPlacement ComputeInitialPlacement(const std::optional<StoredWindowRect> &stored,
                                         QSize screen) {
    if (!stored) {
        const int halfW = screen.width() / 2, halfH = screen.height() / 2;
        const int w = halfW + 180, h = halfH + 150;
        return {
            QRect((screen.width() - halfW - 180) / 2, (screen.height() - halfH - 150) / 2, w, h),
            false};
    }
    const StoredWindowRect &r = *stored;
    const std::int64_t w = std::int64_t(r.right) - r.left, h = std::int64_t(r.bottom) - r.top;
    if (w <= screen.width() && h <= screen.height() && r.left >= 0 && r.top >= 0 && r.right >= 0 &&
        r.bottom >= 0)
        return {QRect(r.left, r.top, int(w), int(h)), false};
    return {std::nullopt, true};
}

} // namespace kz
