#include "SoundCtrlDlg.h"

#include "playback/PanelKeys.h"

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "platform/Paths.h"
#include "platform/flash/FlashControl.h"
#include "playback/PlayCtrlDlg.h"
#include "playback/PlayHost.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>

namespace kz {

namespace {

CMyBitmapButton *MakeImageButton(QWidget *parent, int id, const QString &caption,
                                 const QString &image, const QString &tip) {
    auto *b = new CMyBitmapButton(parent);
    b->setObjectName(QStringLiteral("IDC_%1").arg(id));
    b->setText(caption);
    b->setToolTip(tip);
    const QString res = ProgramDir() + QStringLiteral("res/");
    b->LoadImages(res + image + QStringLiteral("sel.jpg"), res + image + QStringLiteral("up.jpg"));
    return b;
}

} // namespace

CSoundCtrlDlg::CSoundCtrlDlg(CPlayCtrlDlg *controller, FlashControl *flash, PlayHost *host,
                             RegistryStore *registry, std::unique_ptr<Mixer> mixer)
    : QWidget(controller), m_controller(controller), m_flash(flash), m_host(host),
      m_registry(registry), m_mixer(std::move(mixer)), m_mute(m_mixer.get()),
      m_volume(m_mixer.get()) {
    setObjectName(QStringLiteral("IDD_136"));
    setFocusPolicy(Qt::ClickFocus);
    m_muteButton = MakeImageButton(this, IDC_MUTE, QStringLiteral("Mute"), QStringLiteral("mute"),
                                   QStringLiteral("静音"));
    m_soundButton = MakeImageButton(this, IDC_SOUND, QStringLiteral("Sound"),
                                    QStringLiteral("sound"), QStringLiteral("打开音乐"));
    connect(m_muteButton, &QAbstractButton::clicked, this, &CSoundCtrlDlg::OnMute);
    connect(m_soundButton, &QAbstractButton::clicked, this, &CSoundCtrlDlg::OnSound);

    m_trackbar = new CMacSliderCtrl(this);
    m_trackbar->setObjectName(QStringLiteral("IDC_%1").arg(IDC_VOLUME));
    m_trackbar->setToolTip(QStringLiteral("调整声音大小"));
    m_trackbar->setRange(int(kMixerVolumeMin), int(kMixerVolumeMax));
    // While dragging and where it is let go, as the trackbar's scroll messages come.
    connect(m_trackbar, &CMacSliderCtrl::sliderMoved, this, &CSoundCtrlDlg::OnVolumeScroll);
    connect(m_trackbar, &CMacSliderCtrl::Scrolled, this, &CSoundCtrlDlg::OnVolumeScroll);

    m_gameBox = new QCheckBox(QStringLiteral("游戏模式"), this);
    m_gameBox->setObjectName(QStringLiteral("IDC_%1").arg(IDC_GAME_MODE));
    m_gameBox->setFocusPolicy(Qt::NoFocus);
    connect(m_gameBox, &QCheckBox::clicked, this, &CSoundCtrlDlg::OnGameMode);

    if (m_mixer) {
        connect(m_mixer.get(), &Mixer::ControlChange, this, &CSoundCtrlDlg::OnMixerControlChange);
        connect(m_mixer.get(), &Mixer::LineChanged, this, &CSoundCtrlDlg::OnMixerLineChanged);
    }
    resize(kSoundPanelWidth, kButtonHeight);
    ShowMuteButtons();
}

CSoundCtrlDlg::~CSoundCtrlDlg() {
    // The system's mute state from before the start goes back to the output it was found on.
    if (m_nStartMute >= 0)
        m_mute.SetMuteOf(m_startLine, m_nStartMute, true);
    m_mute.Close();
    m_volume.Close();
    if (m_registry && m_initialised)
        SaveSoundPanelSettings(*m_registry, SoundPanelSettings{m_bGameMode});
}

CMyBitmapButton *CSoundCtrlDlg::Button(int id) const {
    return findChild<CMyBitmapButton *>(QStringLiteral("IDC_%1").arg(id));
}

void CSoundCtrlDlg::OnInitDialog() {
    if (m_initialised)
        return;
    m_initialised = true;
    m_volume.Open();
    m_trackbar->SetSelection(25, 75);
    m_trackbar->SetColour(0xFF80FF);
    m_trackbar->SetSelectionColour(0xFF8000);
    m_trackbar->SetChannelColour(0xFF8000);
    m_trackbar->SetTickFreq(int(kMixerVolumeMax) / 15);
    TrackbarFromMixer();
    m_trackbar->setAutoFillBackground(true);
    QPalette pal = m_trackbar->palette();
    pal.setColor(QPalette::Window, ColourFromRef(kSoundPanelBackColour));
    m_trackbar->setPalette(pal);

    // The player always starts with sound on.
    m_nMuted = 0;
    FindStartMuteState();
    ShowMuteButtons();

    SoundPanelSettings s;
    if (m_registry)
        LoadSoundPanelSettings(*m_registry, s);
    m_bGameMode = s.m_bGameMode;
    m_gameBox->setChecked(m_bGameMode != 0);
    m_host->SetGameMode(m_bGameMode != 0);
}

void CSoundCtrlDlg::FindStartMuteState() {
    if (m_nStartMute >= 0 || !m_mute.Open())
        return;
    const int found = m_mute.GetMute();
    if (found < 0)
        return;
    m_nStartMute = found;
    m_startLine = m_mute.LineName();
    m_mute.SetMute(m_nMuted);
}

void CSoundCtrlDlg::TrackbarFromMixer() {
    const int v = m_volume.GetVolume();
    if (v >= 0)
        m_trackbar->setValue(v);
}

void CSoundCtrlDlg::ShowMuteButtons() {
    m_soundButton->setVisible(m_nMuted != 0);
    m_muteButton->setVisible(m_nMuted == 0);
}

void CSoundCtrlDlg::OnMute() {
    m_nMuted = 1;
    ShowMuteButtons();
    m_mute.SetMute(1);
}

void CSoundCtrlDlg::OnSound() {
    m_nMuted = 0;
    ShowMuteButtons();
    m_mute.SetMute(0);
}

void CSoundCtrlDlg::OnVolumeScroll(int position) {
    m_volume.SetVolume(position);
}

void CSoundCtrlDlg::OnMixerControlChange(int controlId) {
    if (controlId == 0)
        return;
    if (controlId == m_volume.ControlId())
        TrackbarFromMixer();
    if (controlId == m_mute.ControlId()) {
        // A switch that cannot be read leaves the panel as it was.
        const int v = m_mute.GetMute();
        if (v < 0)
            return;
        m_nMuted = v != 0;
        ShowMuteButtons();
    }
}

void CSoundCtrlDlg::OnMixerLineChanged() {
    // The server came or went, or another output became the default: the controls are found
    // again and the panel shows the line as it is. A first answer after a start without one
    // is the start.
    m_volume.Open();
    TrackbarFromMixer();
    if (m_nStartMute < 0) {
        FindStartMuteState();
        return;
    }
    if (!m_mute.Open())
        return;
    const int v = m_mute.GetMute();
    if (v < 0)
        return;
    m_nMuted = v != 0;
    ShowMuteButtons();
}

void CSoundCtrlDlg::OnGameMode() {
    m_bGameMode = m_gameBox->isChecked() ? 1 : 0;
    ApplyGameMode();
}

void CSoundCtrlDlg::ToggleGameMode() {
    m_bGameMode = m_bGameMode ? 0 : 1;
    m_gameBox->setChecked(m_bGameMode != 0);
    ApplyGameMode();
}

void CSoundCtrlDlg::ApplyGameMode() {
    m_host->SetGameMode(m_bGameMode != 0);
    if (!m_bGameMode)
        return; // switching it off changes nothing at once
    if (m_host->FullScreen() || m_host->ActualSize()) {
        m_host->ShowBackForGameMode();
        return;
    }
    if (m_controller && m_controller->m_bAutoPlay)
        m_controller->OnHand();
}

void CSoundCtrlDlg::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_muteButton->setGeometry(0, 0, kSoundButtonWidth, h);
    m_soundButton->setGeometry(0, 0, kSoundButtonWidth, h);
    m_trackbar->setGeometry(kSoundButtonWidth + 1, 0, std::max(0, w - kSoundButtonWidth - 1),
                            h / 2);
    const QRect channel = m_trackbar->ChannelRect();
    m_gameBox->setGeometry(kSoundButtonWidth + 1 + channel.left(), h / 2, channel.width(),
                           h - h / 2);
}

// --- keys, as the play controller routes them -----------------------------------------------

void CSoundCtrlDlg::keyPressEvent(QKeyEvent *event) {
    // Actual size is left without activating the frame, unlike the play controller.
    if (!RoutePanelKeyPress(*m_host, m_flash, event, false))
        QWidget::keyPressEvent(event);
}

void CSoundCtrlDlg::keyReleaseEvent(QKeyEvent *event) {
    SendKeyToMovie(m_flash, event);
}

} // namespace kz
