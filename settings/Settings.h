#pragma once
// The player's settings: each belongs to the window that uses it and is loaded when that window
// is created and written back when it is destroyed, value by value, in a fixed order. The
// machine values live in the registry-like store under kMachineKey, the others in the
// profile store's section named after the executable.

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace kz {

class RegistryStore;
class ProfileStore;

inline constexpr auto kMachineKey = u"SOFTWARE\\KZVPlayer\\";
inline constexpr int kSavedDirectoryBytes = 260;

// The frame's settings, with their defaults.
struct FrameSettings {
    std::int32_t m_nIEFilterSize = 100;
    std::int32_t m_nSearchEngine = 0;
    std::int32_t m_bFirstRun = 1;
    std::int32_t m_bCloseTimeout = 1;
    std::int32_t m_CloseTimeOutValue = 30;
    std::int32_t m_bCloseEndofPlayingList = 1;
    std::int32_t m_bTaskBar = 0;
    std::int32_t m_bSavedInClipboard = 0;
    std::int32_t m_bSavedInFile = 1;
    std::int32_t m_bBmpFormat = 1;
    std::int32_t m_bJpgFormat = 0;
    std::int32_t m_bGifFormat = 0;
    std::int32_t m_bPngFormat = 0;
    QString m_strSavedDirectory;
    // Profile values, read after the play lists are restored.
    QString m_strSwfDefaultDir;
    QString m_strTplDefaultDir;
    std::int32_t m_bNetSearchView = 0;

    // Auto-close timer interval; 0 minutes gives 0 ms.
    std::int64_t CloseTimeOutMs() const { return std::int64_t(m_CloseTimeOutValue) * 60000; }
};

// The machine values of the frame, in their reading order; m_bFirstRun follows the presence
// rule (absent: 1, present whatever it holds: 0) and the capture folder rule runs last.
void LoadFrameMachineSettings(RegistryStore &store, FrameSettings &s);
// The profile values of the frame (after the play lists are restored).
void LoadFrameProfileSettings(const ProfileStore &profile, const QString &section, FrameSettings &s);
// Everything of the frame, in the writing order: machine values, then the profile values.
void SaveFrameSettings(RegistryStore &store, ProfileStore &profile, const QString &section,
                       const FrameSettings &s);

// The capture folder rule: a stored narrow path (GBK bytes) whose folders can be made becomes
// the setting, else empty; without a stored value, the user's data folder + "Image", or "/"
// when even that cannot be made.
QString ResolveCaptureDirectory(const std::optional<QByteArray> &stored, const QString &dataDir);

// The folders the user trusts: their movies read their own files and reach the network. Kept
// in the machine store as one string value, the paths in UTF-8, one a line.
QStringList LoadTrustedFolders(RegistryStore &store);
bool SaveTrustedFolders(RegistryStore &store, const QStringList &folders);

// The play controller's settings.
struct ControllerSettings {
    std::int32_t m_nPlayingMode = 1;
    std::int32_t m_bAutoPlay = 0;
    std::int32_t m_nCurrentPlayingItem = 0;
};
void LoadControllerSettings(RegistryStore &store, ControllerSettings &s);
void SaveControllerSettings(RegistryStore &store, const ControllerSettings &s);

// The sound panel's setting.
struct SoundPanelSettings {
    std::int32_t m_bGameMode = 0;
};
void LoadSoundPanelSettings(RegistryStore &store, SoundPanelSettings &s);
void SaveSoundPanelSettings(RegistryStore &store, const SoundPanelSettings &s);

// The Flash tools' remembered output folders, one per task that has one (profile values).
struct ToolsSettings {
    QString m_strMp3InitDir;
    QString m_strJpgInitDir;
    QString m_strExeInitDir;
};
// Unset folders are the user's home folder with a trailing separator.
ToolsSettings LoadToolsSettings(const ProfileStore &profile, const QString &section);
void SaveToolsSettings(ProfileStore &profile, const QString &section, const ToolsSettings &s);

// The frame's window rectangle as it was at the last close ("ScreenLeft" … "ScreenBottom").
struct StoredWindowRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
std::optional<StoredWindowRect> LoadWindowRect(RegistryStore &store);
void SaveWindowRect(RegistryStore &store, const QRect &frame);

// Where the frame's window goes at start: the stored rectangle when it fits the screen and
// has no negative coordinate; the centred default size when nothing was stored; otherwise the
// toolkit's own placement, shown maximised.
struct InitialPlacement {
    std::optional<QRect> rect; // empty: leave the placement to the toolkit
    bool maximised = false;
};
InitialPlacement ComputeInitialPlacement(const std::optional<StoredWindowRect> &stored,
                                         QSize screen);

} // namespace kz
