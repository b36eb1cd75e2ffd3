#pragma once
// The sound panel inside the play controller: the system's speaker volume, its mute switch
// (Mute and Sound share one place) and game mode. It follows changes made by other programs
// through the mixer's notifications; the player runs with sound on and the mute state found at
// start is put back when the panel goes.

#include "platform/mixer/Mixer.h"
#include "platform/mixer/MixerControls.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class QCheckBox;

namespace kz {

class CMacSliderCtrl;
class CMyBitmapButton;
class CPlayCtrlDlg;
class FlashControl;
class PlayHost;
class RegistryStore;

// Control ids of the panel (dialog 136).
inline constexpr int IDC_MUTE = 1019;
inline constexpr int IDC_SOUND = 1040;
inline constexpr int IDC_VOLUME = 1042;
inline constexpr int IDC_GAME_MODE = 1029;

// Dialog 136 is 101 dialog units wide: 152 pixels in the dialog font.
inline constexpr int kSoundPanelWidth = 152;
inline constexpr int kSoundButtonWidth = 48;
inline constexpr std::uint32_t kSoundPanelBackColour = 0x999D68; // COLORREF

class CSoundCtrlDlg : public QWidget {
    Q_OBJECT
public:
    // `mixer` may be empty: the panel then works without reaching any mixer.
    CSoundCtrlDlg(CPlayCtrlDlg *controller, FlashControl *flash, PlayHost *host,
                  RegistryStore *registry, std::unique_ptr<Mixer> mixer);
    ~CSoundCtrlDlg() override;

    // Opens the mixer's controls, starts with sound on, reads game mode; once.
    void OnInitDialog();

    // The Mute and Sound buttons (and the view's "静音" command).
    void OnMute();
    void OnSound();
    // The view's "静音" command: Sound when muted, Mute otherwise.
    void ToggleMute() { m_nMuted ? OnSound() : OnMute(); }
    // The check box; the view's "游戏模式" command toggles the flag and shows it first.
    void OnGameMode();
    void ToggleGameMode();
    // The volume trackbar put somewhere by the user.
    void OnVolumeScroll(int position);

    // The mixer's notifications.
    void OnMixerControlChange(int controlId);
    void OnMixerLineChanged();

    CMyBitmapButton *Button(int id) const;
    CMacSliderCtrl *Trackbar() const { return m_trackbar; }
    QCheckBox *GameModeBox() const { return m_gameBox; }
    const mutecontrol &MuteControl() const { return m_mute; }
    const volumcontrol &VolumeControl() const { return m_volume; }
    // The mute state found at start (-1 while no mixer has answered).
    int StartMuteState() const { return m_nStartMute; }

    int m_nMuted = 0;
    int m_bGameMode = 0;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void ShowMuteButtons();
    void ApplyGameMode();
    void TrackbarFromMixer();
    void FindStartMuteState();

    CPlayCtrlDlg *m_controller;
    FlashControl *m_flash;
    PlayHost *m_host;
    RegistryStore *m_registry;
    std::unique_ptr<Mixer> m_mixer;
    mutecontrol m_mute;
    volumcontrol m_volume;
    int m_nStartMute = -1;
    QString m_startLine;
    CMyBitmapButton *m_muteButton = nullptr;
    CMyBitmapButton *m_soundButton = nullptr;
    CMacSliderCtrl *m_trackbar = nullptr;
    QCheckBox *m_gameBox = nullptr;
    bool m_initialised = false;
};

} // namespace kz
