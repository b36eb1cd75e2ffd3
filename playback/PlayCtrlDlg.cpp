#include "PlayCtrlDlg.h"

#include "controls/MacSliderCtrl.h"
#include "controls/MyBitmapButton.h"
#include "platform/MovieIdentity.h"
#include "platform/Paths.h"
#include "platform/Workers.h"
#include "platform/flash/FlashControl.h"
#include "platform/http/HttpClient.h"
#include "platform/registry/Registry.h"
#include "platform/urlcache/UrlCache.h"
#include "playback/PanelKeys.h"
#include "playback/PlayHost.h"
#include "playback/SoundCtrlDlg.h"
#include "playlist/ListFile.h"
#include "playlist/PlayListState.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace kz {

namespace {

const QString kInfoText = QStringLiteral("Vobi Flash 播放器");
constexpr int kProbeGateWaitMs = 500;
constexpr int kBlankWaitMs = 200;
constexpr int kHeaderFoundWaitMs = 600;
constexpr int kLoadedWaitMs = 20;
constexpr int kTrackbarHeight = 28;
constexpr int kWebStageWidth = 600;
constexpr int kWebStageHeight = 400;
// The largest movie the control plays: one left behind is finished into the cache only up to
// it, and a larger entry of a list file is refused before it is copied out.
constexpr std::int64_t kMaxCachedMovieBytes = std::int64_t(256) << 20;
constexpr int kThumbnailDelayMs = 1000;

QSize StageOf(const SwfHeaderInfo &h) {
    return QSize(h.right - h.left, h.bottom - h.top);
}

// The header's rate as a movie at `speed` plays it (the status line's clock follows it).
std::int32_t PlayedRate(std::int32_t rate, double speed) {
    if (speed == 1.0 || rate <= 0)
        return rate;
    return std::max(1, int(std::lround(rate * speed)));
}

} // namespace

// Where the probe threads post their results. The controller unhooks itself when it goes, so
// a probe that outlives it posts nothing; a posted result whose receiver is gone is dropped
// with its record.
struct CPlayCtrlDlg::Mailbox {
    std::mutex mutex;
    CPlayCtrlDlg *receiver = nullptr;

    void Post(ProbeOutcome outcome, std::shared_ptr<UrlProbeRecord> record) {
        std::lock_guard lock(mutex);
        if (!receiver)
            return;
        CPlayCtrlDlg *to = receiver;
        QMetaObject::invokeMethod(
            to,
            [to, outcome, record] {
                auto owned = std::make_unique<UrlProbeRecord>(std::move(*record));
                if (outcome == ProbeOutcome::Header)
                    to->OnMovieHeader(std::move(owned));
                else
                    to->OnMovieError(std::move(owned));
            },
            Qt::QueuedConnection);
    }
    // Runs `call` on the controller's thread, unless the controller has gone by then.
    void Call(std::function<void(CPlayCtrlDlg *)> call) {
        std::lock_guard lock(mutex);
        if (!receiver)
            return;
        CPlayCtrlDlg *to = receiver;
        QMetaObject::invokeMethod(
            to, [to, call = std::move(call)] { call(to); }, Qt::QueuedConnection);
    }
};

CPlayCtrlDlg::CPlayCtrlDlg(FlashControl *flash, PlayHost *host, Services services, QWidget *parent)
    : QWidget(parent), m_flash(flash), m_host(host), m_registry(services.registry),
      m_library(services.library), m_http(std::move(services.http)),
      m_mixer(std::move(services.mixer)), m_power(std::move(services.power)),
      m_events(std::make_shared<ProbeEvents>()),
      m_pendingDownloads(std::make_shared<PendingDownloads>()),
      m_mailbox(std::make_shared<Mailbox>()) {
    setObjectName(QStringLiteral("IDD_131"));
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(true);
    m_mailbox->receiver = this;
    if (!m_http)
        m_http = [] { return CreateHttpSession(); };

    m_trackbar = new CMacSliderCtrl(this);
    m_trackbar->setObjectName(QStringLiteral("IDC_%1").arg(IDC_TRACKBAR));
    m_trackbar->setRange(0, 0);
    connect(m_trackbar, &CMacSliderCtrl::Scrolled, this, &CPlayCtrlDlg::OnSeek);

    m_play = MakeButton(IDC_PLAY, QStringLiteral("Play"), QStringLiteral("play"),
                        QStringLiteral("播放"), &CPlayCtrlDlg::OnPlay);
    m_pause = MakeButton(IDC_PAUSE, QStringLiteral("Pause"), QStringLiteral("pause"),
                         QStringLiteral("暂停"), &CPlayCtrlDlg::OnPause);
    m_stop = MakeButton(IDC_STOP, QStringLiteral("Stop"), QStringLiteral("stop"),
                        QStringLiteral("停止"), &CPlayCtrlDlg::OnStop);
    m_next = MakeButton(IDC_NEXT, QStringLiteral("Next"), QStringLiteral("next"),
                        QStringLiteral("播放下一个文件"), &CPlayCtrlDlg::OnNext);
    m_prev = MakeButton(IDC_PREV, QStringLiteral("Prev"), QStringLiteral("prev"),
                        QStringLiteral("播放上一个文件"), &CPlayCtrlDlg::OnPrevious);
    m_auto = MakeButton(IDC_AUTO, QStringLiteral("Auto"), QStringLiteral("auto"),
                        QStringLiteral("自动播放"), &CPlayCtrlDlg::OnAuto);
    m_hand = MakeButton(IDC_HAND, QStringLiteral("Hand"), QStringLiteral("noauto"),
                        QStringLiteral("手动播放"), &CPlayCtrlDlg::OnHand);
    m_cycle = MakeButton(IDC_CYCLE, QStringLiteral("Cycle"), QStringLiteral("repeat"),
                         QStringLiteral("连续播放"), &CPlayCtrlDlg::OnCycle);
    m_continue = MakeButton(IDC_CONTINUE, QStringLiteral("Continue"), QStringLiteral("rewind"),
                            QStringLiteral("单个文件循环播放"), &CPlayCtrlDlg::OnContinue);

    m_framePoll = MakeTimer(this, kFramePollTimer);
    m_status = MakeTimer(this, kStatusTimer);
    m_loadProgress = MakeTimer(this, kLoadProgressTimer);
    m_endWait = MakeTimer(this, kEndWaitTimer);
    connect(m_framePoll, &QTimer::timeout, this, &CPlayCtrlDlg::OnFramePoll);
    connect(m_status, &QTimer::timeout, this, &CPlayCtrlDlg::OnStatusTimer);
    connect(m_loadProgress, &QTimer::timeout, this, &CPlayCtrlDlg::OnLoadProgress);
    connect(m_endWait, &QTimer::timeout, this, [this] {
        const EndAction action = std::exchange(m_pendingEnd, EndAction::None);
        if (action == EndAction::Replay) {
            // Play alone would not restart a movie that halted itself on its last frame; the
            // control's frame 0 does (a reporting movie goes there, any other starts again).
            m_nLastFrame = 0;
            m_flash->GotoFrame(0);
            m_flash->Play();
        } else if (action == EndAction::Next) {
            OnNext();
        }
    });
    connect(m_flash, &FlashControl::MovieReady, this, &CPlayCtrlDlg::OnMovieReady);
    ShowPairs();
}

CPlayCtrlDlg::~CPlayCtrlDlg() {
    // Only what was read is written back: a controller never initialised keeps the store as it is.
    if (m_registry && m_initialised)
        SaveControllerSettings(*m_registry, Settings());
    {
        std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
    }
    m_power.Restore();
    // The sound panel puts the system's mute state back and writes its own setting.
    delete m_sound;
    m_sound = nullptr;
}

CMyBitmapButton *CPlayCtrlDlg::MakeButton(int id, const QString &caption, const QString &image,
                                          const QString &tip, void (CPlayCtrlDlg::*click)()) {
    auto *b = new CMyBitmapButton(this);
    b->setObjectName(QStringLiteral("IDC_%1").arg(id));
    b->setText(caption);
    b->setToolTip(tip);
    const QString res = ProgramDir() + QStringLiteral("res/");
    b->LoadImages(res + image + QStringLiteral("sel.jpg"), res + image + QStringLiteral("up.jpg"));
    b->resize(kButtonWidth, kButtonHeight);
    connect(b, &QAbstractButton::clicked, this, click);
    return b;
}

CMyBitmapButton *CPlayCtrlDlg::Button(int id) const {
    return findChild<CMyBitmapButton *>(QStringLiteral("IDC_%1").arg(id));
}

void CPlayCtrlDlg::OnInitDialog() {
    if (m_initialised)
        return;
    m_initialised = true;
    // The sound panel, 7 button widths right of Play, with Play's top and height.
    m_sound = new CSoundCtrlDlg(this, m_flash, m_host, m_registry,
                                m_mixer ? m_mixer() : std::unique_ptr<Mixer>());
    m_sound->setGeometry(m_play->x() + 7 * kButtonWidth, m_play->y(), kSoundPanelWidth,
                         m_play->height());
    m_sound->OnInitDialog();
    m_sound->show();
    // The controller may have its size already: the panel then takes its place in the layout.
    PlaceSoundPanel();
    ControllerSettings s;
    if (m_registry)
        LoadControllerSettings(*m_registry, s);
    m_nPlayingMode = s.m_nPlayingMode;
    m_bAutoPlay = s.m_bAutoPlay;
    m_nCurrentPlayingItem = s.m_nCurrentPlayingItem;
    m_host->EnsurePlayListRowVisible(m_nCurrentPlayingItem);

    m_trackbar->SetSelection(25, 75);
    m_trackbar->SetColour(0xFF80FF);
    m_trackbar->SetSelectionColour(0xFF8000);
    m_trackbar->SetChannelColour(0xAD9592);
    ShowPairs();
}

ControllerSettings CPlayCtrlDlg::Settings() const {
    ControllerSettings s;
    s.m_nPlayingMode = m_nPlayingMode;
    s.m_bAutoPlay = m_bAutoPlay;
    s.m_nCurrentPlayingItem = m_nCurrentPlayingItem;
    return s;
}

SwfHeaderInfo CPlayCtrlDlg::Header() const {
    std::lock_guard lock(HeaderLock());
    return m_header;
}

bool CPlayCtrlDlg::TimerActive(int id) const {
    return kz::TimerActive(this, id);
}

bool CPlayCtrlDlg::EndWaitPending() const {
    return m_endWait->isActive();
}

void CPlayCtrlDlg::ShowPairs() {
    m_pause->setVisible(m_nPlayState == kStatePlaying);
    m_play->setVisible(m_nPlayState != kStatePlaying);
    m_hand->setVisible(m_bAutoPlay == 1);
    m_auto->setVisible(m_bAutoPlay != 1);
    m_continue->setVisible(m_nPlayingMode != kModeSingleLoop);
    m_cycle->setVisible(m_nPlayingMode == kModeSingleLoop);
}

void CPlayCtrlDlg::SetPlayState(int state) {
    m_nPlayState = state;
    ShowPairs();
    m_host->PlayStateChanged(state);
    emit StateChanged();
}

void CPlayCtrlDlg::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    ShowPairs();
    m_trackbar->setGeometry(0, 2, width(), kTrackbarHeight);
    const int x0 = m_trackbar->ChannelRect().left();
    const int y = 32;
    auto place = [&](QWidget *w, int slot) {
        w->setGeometry(x0 + slot * kButtonWidth, y, kButtonWidth, kButtonHeight);
    };
    place(m_play, 0);
    place(m_pause, 0);
    place(m_stop, 1);
    place(m_next, 2);
    place(m_prev, 3);
    place(m_auto, 4);
    place(m_hand, 4);
    place(m_cycle, 5);
    place(m_continue, 5);
    PlaceSoundPanel();
}

// The sound panel keeps its width and takes Cycle/Continue's top and height: right-aligned when
// the room right of that button is wider, else just right of it.
void CPlayCtrlDlg::PlaceSoundPanel() {
    if (!m_sound)
        return;
    const QRect button = m_continue->geometry();
    const int right = button.right() + 1;
    const int w = m_sound->width();
    const int x = width() - right > w ? width() - w : right;
    m_sound->setGeometry(x, button.top(), w, button.height());
}

// --- commands -----------------------------------------------------------------------------

void CPlayCtrlDlg::OnPlay() {
    if (m_nPlayState == kStatePaused) {
        m_flash->Play();
        SetPlayState(kStatePlaying);
        return;
    }
    if (m_host->NetSearchViewShown()) {
        const QStringList results = m_host->NetResultList();
        if (results.isEmpty())
            return;
        if (m_nCurrentNetItem < 0 || m_nCurrentNetItem >= results.size())
            m_nCurrentNetItem = 0;
        PlayUrl(results.at(m_nCurrentNetItem));
        return;
    }
    if (m_nCurrentPlayingItem == -1)
        m_nCurrentPlayingItem = 0;
    QString path = m_host->PlayListText(m_nCurrentPlayingItem, 0);
    QString name = m_host->PlayListText(m_nCurrentPlayingItem, 1);
    if (path.isEmpty()) {
        if (m_nCurrentPlayingItem == 0)
            return;
        m_nCurrentPlayingItem = 0;
        path = m_host->PlayListText(0, 0);
        name = m_host->PlayListText(0, 1);
        if (path.isEmpty())
            return;
    }
    PlayLocalItem(path, name);
    m_host->EnsurePlayListRowVisible(m_nCurrentPlayingItem);
}

void CPlayCtrlDlg::OnPause() {
    m_endWait->stop();
    m_pendingEnd = EndAction::None;
    m_flash->StopPlay();
    SetPlayState(kStatePaused);
}

void CPlayCtrlDlg::OnNext() {
    if (m_host->NetSearchViewShown()) {
        const QStringList results = m_host->NetResultList();
        const StepResult step = NextIndex(m_nCurrentNetItem, int(results.size()));
        if (step.index < 0)
            return;
        m_nCurrentNetItem = step.index;
        if (step.wrapped && m_host->CloseAtEndOfPlayList())
            return;
        PlayUrl(results.at(m_nCurrentNetItem));
        return;
    }
    const StepResult step = NextIndex(m_nCurrentPlayingItem, m_host->PlayListRowCount());
    if (step.index < 0)
        return;
    m_nCurrentPlayingItem = step.index;
    if (step.wrapped && m_host->CloseAtEndOfPlayList())
        return;
    PlayLocalItem(m_host->PlayListText(m_nCurrentPlayingItem, 0),
                  m_host->PlayListText(m_nCurrentPlayingItem, 1));
    m_host->EnsurePlayListRowVisible(m_nCurrentPlayingItem);
}

void CPlayCtrlDlg::OnPrevious() {
    if (m_host->NetSearchViewShown()) {
        const QStringList results = m_host->NetResultList();
        const int i = PreviousIndex(m_nCurrentNetItem, int(results.size()));
        if (i < 0)
            return;
        m_nCurrentNetItem = i;
        PlayUrl(results.at(i));
        return;
    }
    const int i = PreviousIndex(m_nCurrentPlayingItem, m_host->PlayListRowCount());
    if (i < 0)
        return;
    m_nCurrentPlayingItem = i;
    PlayLocalItem(m_host->PlayListText(i, 0), m_host->PlayListText(i, 1));
    m_host->EnsurePlayListRowVisible(i);
}

void CPlayCtrlDlg::OnStop() {
    ++m_nLoadRequest; // a web movie still waiting to load does not
    m_bUrlPending = false;
    m_endWait->stop();
    m_pendingEnd = EndAction::None;
    m_power.Restore();
    m_flash->StopPlay();
    m_flash->Stop();
    m_flash->LoadMovie(0, QString::fromLatin1(kBlankMovie));
    m_identity.clear();
    m_settings = MovieSettings{};
    m_returnFrame = -1;
    m_flash->SetScale(QStringLiteral("noScale"));
    m_flash->SetBackgroundColor(0);
    m_host->SetInfoColours(0x000000, 0xFFFFFF);
    m_host->SetInfoText(kInfoText);
    SetPlayState(kStateStopped);
    m_host->RedrawPlayList();
    if (!m_host->FullScreen() && !m_host->ActualSize())
        m_host->ShowBrowser();
    m_loadProgress->stop();
    m_host->SetLoadingProgress(0);
}

void CPlayCtrlDlg::OnAuto() {
    m_bAutoPlay = 1;
    ShowPairs();
}

void CPlayCtrlDlg::OnHand() {
    m_bAutoPlay = 0;
    ShowPairs();
}

void CPlayCtrlDlg::OnCycle() {
    m_nPlayingMode = kModeListLoop;
    ShowPairs();
}

void CPlayCtrlDlg::OnContinue() {
    m_nPlayingMode = kModeSingleLoop;
    ShowPairs();
}

void CPlayCtrlDlg::OnSeek(int position) {
    m_flash->GotoFrame(position);
    // The trackbar and the end detection follow where the control says the movie is: one that
    // cannot seek there stays put, and a seek is never taken for the movie starting over.
    const int frame = std::max(0, m_flash->CurrentFrame());
    m_trackbar->setValue(frame);
    m_nLastFrame = frame;
    m_flash->Play();
    emit Jumped();
}

bool CPlayCtrlDlg::CanStepFrames() const {
    return m_nPlayState != kStateStopped && m_flash->ReportsFrames();
}

bool CPlayCtrlDlg::GoToFrame(int frame) {
    const int total = m_flash->TotalFrames();
    if (!CanStepFrames() || frame < 0 || frame >= total)
        return false;
    m_flash->GotoFrame(frame);
    const int now = std::max(0, m_flash->CurrentFrame());
    m_trackbar->setValue(now);
    m_nLastFrame = now;
    // The status timer only writes while playing: a paused movie's line follows here.
    if (!(m_bUrlMode && !m_bHeaderKnown))
        m_host->SetInfoText(StatusLine(Header(), now));
    emit Jumped();
    return true;
}

void CPlayCtrlDlg::OnNextFrame() {
    if (!CanStepFrames())
        return;
    if (m_nPlayState == kStatePlaying)
        OnPause();
    GoToFrame(m_flash->CurrentFrame() + 1);
}

void CPlayCtrlDlg::OnPreviousFrame() {
    if (!CanStepFrames())
        return;
    if (m_nPlayState == kStatePlaying)
        OnPause();
    GoToFrame(m_flash->CurrentFrame() - 1);
}

// --- keys ---------------------------------------------------------------------------------

void CPlayCtrlDlg::keyPressEvent(QKeyEvent *event) {
    if (!RoutePanelKeyPress(*m_host, m_flash, event, true))
        QWidget::keyPressEvent(event);
}

void CPlayCtrlDlg::keyReleaseEvent(QKeyEvent *event) {
    SendKeyToMovie(m_flash, event);
}

// --- timers -------------------------------------------------------------------------------

void CPlayCtrlDlg::OnFramePoll() {
    ReturnToFrame();
    FramePollInput in;
    in.urlMode = m_bUrlMode;
    in.headerKnown = m_bHeaderKnown;
    in.fullyLoaded = m_bFullyLoaded;
    in.autoPlay = m_bAutoPlay != 0;
    in.playState = m_nPlayState;
    in.playingMode = m_nPlayingMode;
    if (!(in.urlMode && !in.headerKnown)) {
        in.currentFrame = m_flash->CurrentFrame();
        in.totalFrames = m_flash->TotalFrames();
    }
    // While the second before a replay or the next item runs, the end is already known.
    if (m_endWait->isActive())
        in.autoPlay = false;
    const FramePollResult r = FramePoll(in, m_nLastFrame, [this] { return m_flash->IsPlaying(); });
    if (r.skipped)
        return;
    // A paused movie stays paused on its first frame (a frame step may have taken it there).
    if (r.playAtZero && m_nPlayState != kStatePaused)
        m_flash->Play();
    if (r.moveTrackbar)
        m_trackbar->setValue(in.currentFrame);
    switch (r.action) {
    case EndAction::Resume:
        m_flash->Play();
        break;
    case EndAction::Replay:
    case EndAction::Next:
        ScheduleEndAction(r.action);
        break;
    case EndAction::None:
        break;
    }
}

void CPlayCtrlDlg::ScheduleEndAction(EndAction action) {
    m_pendingEnd = action;
    m_endWait->start();
}

void CPlayCtrlDlg::OnStatusTimer() {
    if (m_nPlayState != kStatePlaying)
        return;
    if (m_bUrlMode && !m_bHeaderKnown)
        return;
    m_host->SetInfoText(StatusLine(Header(), m_flash->CurrentFrame()));
}

void CPlayCtrlDlg::OnLoadProgress() {
    const int percent = m_flash->PercentLoaded();
    m_host->SetLoadingProgress(percent);
    if (percent < 100)
        return;
    m_loadProgress->stop();
    QThread::msleep(kLoadedWaitMs);
    const int total = m_flash->TotalFrames();
    m_bFullyLoaded = true;
    std::lock_guard lock(HeaderLock());
    // The engine reports the frame count once it has started the movie; until then the
    // probed count stands (MovieReady brings the engine's).
    if (total > 0)
        m_header.frameCount = total;
    m_header.version = m_flash->FlashVersion() >> 16;
    SetTrackbarRange(m_header.frameCount);
}

void CPlayCtrlDlg::OnMovieReady() {
    // After about a second of drawing, the movie's picture becomes its thumbnail.
    const int load = m_nLoadRequest;
    if (!m_thumbnail.path.isEmpty() && !ThumbnailUpToDate(m_thumbnail))
        QTimer::singleShot(kThumbnailDelayMs, this, [this, load, key = m_thumbnail] {
            if (load == m_nLoadRequest && m_nPlayState != kStateStopped)
                WriteThumbnail(key, m_flash->grab().toImage());
        });
    const int total = m_flash->TotalFrames();
    if (total <= 0 || m_nPlayState == kStateStopped)
        return;
    std::lock_guard lock(HeaderLock());
    m_header.frameCount = total;
    SetTrackbarRange(total);
    emit StateChanged();
}

// --- loading ------------------------------------------------------------------------------

void CPlayCtrlDlg::KillLoadTimers() {
    m_loadProgress->stop();
    m_framePoll->stop();
    m_status->stop();
    m_endWait->stop();
    m_pendingEnd = EndAction::None;
}

void CPlayCtrlDlg::StartPlayTimers() {
    m_framePoll->start();
    m_status->start();
}

void CPlayCtrlDlg::SetTrackbarRange(int frames) {
    m_trackbar->setRange(0, std::max(0, frames));
    m_trackbar->setValue(0);
    m_trackbar->SetTickFreq(1);
}

void CPlayCtrlDlg::ColourInfoForMovie() {
    const std::uint32_t back = m_host->BackColour() & 0xFFFFFF;
    m_host->SetInfoColours(0xFFFFFF - back, back);
    m_host->SetInfoText(kInfoText);
}

void CPlayCtrlDlg::GiveWayToMovie() {
    m_host->HideBrowser();
    ShowPairs();
    m_power.Suspend();
}

void CPlayCtrlDlg::PlayLocalItem(const QString &pathIn, const QString &entryName) {
    ++m_nLoadRequest; // a web movie still waiting to load does not
    m_bUrlPending = false;
    m_bUrlMode = false;
    m_bFullyLoaded = true;
    m_bHeaderKnown = true;
    const QString programDir = ProgramDir();
    const QString missing = MissingMoviePath(programDir);
    const QString badFormat = BadFormatMoviePath(programDir);

    m_host->RedrawPlayList();
    KillLoadTimers();
    SetPlayState(kStateStopped);
    m_host->SetZoom(100);

    QString path = pathIn;
    {
        QFile f(path);
        if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
            path = missing;
    }
    m_thumbnail = path == pathIn ? RowThumbnail(pathIn, entryName) : ThumbnailKey{};
    m_playingPath = pathIn;
    m_playingEntry = entryName;
    m_returnFrame = -1;
    UseSettingsOf(path == pathIn ? RowIdentity(pathIn, entryName) : QString());
    SwfHeaderInfo header;
    if (IsListFilePath(path)) {
        const QString temp = ExtractedEntryPath(TempFolder(), entryName);
        if (temp.isEmpty() ||
            !ExtractEntry(temp, entryName, path, std::uint64_t(kMaxCachedMovieBytes)))
            return; // the previous movie stays; the controller stays stopped
        if (temp != m_strExtractedFile && !m_strExtractedFile.isEmpty())
            QFile::remove(m_strExtractedFile);
        m_strExtractedFile = temp;
        ReadSwfHeader(temp, header);
        ListEntrySource source;
        source.listFile = path;
        source.entry = entryName;
        source.readEntry = [path](const QString &entry, QByteArray &bytes) {
            return ReadEntryHead(path, entry, kMaxCachedMovieBytes, bytes);
        };
        m_flash->LoadListEntry(temp, source);
    } else {
        ReadSwfHeader(path, header);
        m_flash->LoadMovie(0, path);
    }
    if (!IsPlayableMovie(header)) {
        UseSettingsOf(QString());
        m_flash->LoadMovie(0, badFormat);
        header = SwfHeaderInfo{};
        ReadSwfHeader(badFormat, header);
    }
    {
        std::lock_guard lock(HeaderLock());
        m_header = header;
        m_header.frameRate = PlayedRate(header.frameRate, m_settings.speed);
    }
    if (m_flash->ReadyState() == -1)
        return;

    m_flash->SetScale(QStringLiteral("ShowAll"));
    const int total = m_flash->TotalFrames();
    {
        std::lock_guard lock(HeaderLock());
        // The engine starts a movie asynchronously: until it reports, the header's count.
        if (total > 0)
            m_header.frameCount = total;
        SetTrackbarRange(m_header.frameCount);
    }
    m_nLastFrame = 0;
    ++m_nMovieSerial;
    StartPlayTimers();
    SetPlayState(kStatePlaying);
    m_host->LayOutMovie(StageOf(header));
    ColourInfoForMovie();
    m_flash->SetBackgroundColor(header.backgroundColor);
    GiveWayToMovie();
}

// --- per-movie settings -------------------------------------------------------------------

MovieSettings CPlayCtrlDlg::SettingsOf(const QString &identity) const {
    if (identity.isEmpty())
        return {};
    const auto unsaved = m_unsaved.constFind(identity);
    if (unsaved != m_unsaved.constEnd())
        return *unsaved;
    return m_library ? m_library->Get(identity) : MovieSettings{};
}

void CPlayCtrlDlg::UseSettingsOf(const QString &identity) {
    m_identity = identity;
    m_settings = SettingsOf(identity);
    PlayOptions options;
    options.speed = m_settings.speed;
    if (m_settings.quality != kDefaultQuality)
        options.quality = QualityName(m_settings.quality);
    m_flash->SetPlayOptions(options);
}

void CPlayCtrlDlg::ChangeSettings(const QString &identity, const MovieSettings &settings) {
    if (identity.isEmpty() || (settings.speed != 1.0 && !IsOfferedSpeed(settings.speed)))
        return;
    // Without a library (or when it cannot be written) the choice lasts while the player runs.
    if (m_library && m_library->Set(identity, settings))
        m_unsaved.remove(identity);
    else
        m_unsaved.insert(identity, settings);
    if (identity != m_identity || m_nPlayState == kStateStopped || settings == m_settings)
        return;
    const bool reports = m_flash->ReportsFrames();
    const int frame = reports ? std::max(0, m_flash->CurrentFrame()) : 0;
    const bool paused = m_nPlayState == kStatePaused;
    if (m_bUrlMode) {
        const QString url = m_flash->Movie();
        m_flash->LoadMovie(0, QString::fromLatin1(kBlankMovie));
        PlayUrl(url);
    } else {
        PlayLocalItem(m_playingPath, m_playingEntry);
    }
    if (reports && (frame > 0 || paused)) {
        m_returnFrame = frame;
        m_returnPaused = paused;
    }
}

// A movie loaded again for new settings goes back to where it was once it reports its frames.
void CPlayCtrlDlg::ReturnToFrame() {
    if (m_returnFrame < 0 || m_nPlayState == kStateStopped || !m_flash->ReportsFrames())
        return;
    const int frame = std::exchange(m_returnFrame, -1);
    if (m_returnPaused && m_nPlayState == kStatePlaying)
        OnPause();
    GoToFrame(std::min(frame, m_flash->TotalFrames() - 1));
}

void CPlayCtrlDlg::PlayUrl(const QString &url) {
    if (m_flash->Movie() == url)
        return;
    const QString previous = m_flash->Movie();
    const int percent = m_flash->PercentLoaded();
    // A web movie left half-loaded finishes into the cache behind the scenes: one at a time,
    // the newest replacing an earlier one.
    if (percent < 100 && IsValidWebUrl(previous))
        if (auto cancel = m_pendingDownloads->Add(previous))
            StartCacheDownload(previous, std::move(cancel));

    m_returnFrame = -1;
    auto record = std::make_unique<UrlProbeRecord>();
    record->owner = this;
    record->url = url.left(kProbeUrlUnits - 1);

    KillLoadTimers();
    m_flash->SetScale(QStringLiteral("ShowAll"));
    m_trackbar->setValue(0);
    m_flash->StopPlay();
    m_flash->Stop();
    m_flash->LoadMovie(0, QString::fromLatin1(kBlankMovie));
    // An earlier probe that is just reporting gets a moment to finish before the new movie
    // loads. The wait runs on a thread of its own so that the window stays responsive; a load,
    // a stop or another address meanwhile makes this one stale.
    const int load = ++m_nLoadRequest;
    m_bUrlPending = true;
    std::shared_ptr<UrlProbeRecord> shared(std::move(record));
    StartWorker([events = m_events, mailbox = m_mailbox, shared, url, load] {
        QThread::msleep(kBlankWaitMs);
        events->headerFound.Wait(kHeaderFoundWaitMs);
        mailbox->Call([shared, url, load](CPlayCtrlDlg *to) {
            if (to->m_nLoadRequest == load)
                to->LoadUrl(url, std::make_unique<UrlProbeRecord>(std::move(*shared)));
        });
    });
}

void CPlayCtrlDlg::LoadUrl(const QString &url, std::unique_ptr<UrlProbeRecord> record) {
    m_bUrlPending = false;
    m_thumbnail = IdentityThumbnail(url);
    m_playingPath.clear();
    m_playingEntry.clear();
    UseSettingsOf(WebIdentity(QUrl(url)));
    m_flash->LoadMovie(0, url);
    m_bUrlMode = true;
    m_bFullyLoaded = false;
    m_nLastFrame = 0;
    ++m_nMovieSerial;
    const int found = int(m_host->NetResultList().indexOf(url));
    if (found >= 0)
        m_nCurrentNetItem = found;
    m_host->HideBrowser();
    m_loadProgress->start();
    StartPlayTimers();
    m_host->SetLoadingProgress(0);
    SetPlayState(kStatePlaying);
    m_power.Suspend();
    {
        std::lock_guard lock(HeaderLock());
        m_header.isFlash = 1;
        m_header.left = 0;
        m_header.right = kWebStageWidth;
        m_header.top = 0;
        m_header.bottom = kWebStageHeight;
        m_header.backgroundColor = 0;
        SetTrackbarRange(m_header.frameCount);
    }
    m_host->LayOutMovie(QSize(kWebStageWidth, kWebStageHeight));
    ColourInfoForMovie();
    m_flash->SetBackgroundColor(0);
    m_bHeaderKnown = false;
    StartProbe(std::move(record));
}

void CPlayCtrlDlg::StartProbe(std::unique_ptr<UrlProbeRecord> record) {
    std::shared_ptr<UrlProbeRecord> shared(std::move(record));
    StartWorker([events = m_events, mailbox = m_mailbox, http = m_http, shared] {
        events->gate.Wait(kProbeGateWaitMs);
        ProbeOutcome outcome = ProbeOutcome::Error;
        if (!shared->url.isEmpty()) {
            std::unique_ptr<HttpSession> session = http();
            outcome = session ? ProbeMovieHeader(*session, *shared, events->headerFound)
                              : ProbeOutcome::Error;
        }
        if (outcome != ProbeOutcome::Silent)
            mailbox->Post(outcome, shared);
        events->gate.Set();
    });
}

void CPlayCtrlDlg::StartCacheDownload(const QString &url,
                                      std::shared_ptr<std::atomic_bool> cancel) {
    const bool started = StartWorker([pending = m_pendingDownloads, http = m_http, url, cancel,
                                      folder = UrlCache::DefaultFolder()] {
        if (std::unique_ptr<HttpSession> session = http()) {
            // A newer background download, or the player's end, cancels this one at once.
            session->SetCancelFlag(cancel);
            UrlCache(folder).Download(
                QUrl(url), *session, [cancel](std::int64_t, std::int64_t) { return !*cancel; },
                kMaxCachedMovieBytes);
        }
        pending->Remove(cancel);
    });
    if (!started)
        m_pendingDownloads->Remove(cancel);
}

void CPlayCtrlDlg::OnMovieHeader(std::unique_ptr<UrlProbeRecord> record) {
    if (!record || m_flash->Movie() != record->url)
        return;
    QSize stage;
    {
        std::lock_guard lock(HeaderLock());
        CopyProbedHeader(*record, m_header);
        m_header.frameRate = PlayedRate(m_header.frameRate, m_settings.speed);
        SetTrackbarRange(m_header.frameCount);
        stage = StageOf(m_header);
    }
    m_host->LayOutMovie(stage);
    m_flash->SetBackgroundColor(record->backgroundColor);
    m_bHeaderKnown = true;
    emit StateChanged();
}

void CPlayCtrlDlg::OnMovieError(std::unique_ptr<UrlProbeRecord> record) {
    if (!record || m_flash->Movie() != record->url)
        return;
    PlayLocalItem(MissingMoviePath(ProgramDir()), QString());
}

} // namespace kz
