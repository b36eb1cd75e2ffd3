#include "ViewPlayHost.h"

#include "netsearch/ListDlg.h"
#include "platform/flash/FlashControl.h"
#include "playlist/DragDropListCtrl.h"
#include "res/Menus.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kz {

int CViewPlayHost::PlayListRowCount() const {
    return m_frame->PlayList()->RowCount();
}

QString CViewPlayHost::PlayListText(int row, int column) const {
    return m_frame->PlayList()->RowText(row, column);
}

void CViewPlayHost::EnsurePlayListRowVisible(int row) {
    m_frame->PlayList()->EnsureRowVisible(row);
}

void CViewPlayHost::RedrawPlayList() {
    // The list draws the controller's current row in red, and only that row.
    m_frame->PlayList()->RedrawRows();
}

QStringList CViewPlayHost::NetResultList() const {
    return m_frame->ListBar()->ResultLinkList();
}

bool CViewPlayHost::NetSearchViewShown() const {
    return m_frame->m_settings.m_bNetSearchView != 0;
}

bool CViewPlayHost::CloseAtEndOfPlayList() {
    return m_frame->CloseAtEndOfPlayList();
}

bool CViewPlayHost::FullScreen() const {
    return m_frame->m_bFullScreen != 0;
}

bool CViewPlayHost::ActualSize() const {
    return m_frame->m_bActualSize != 0;
}

void CViewPlayHost::ToggleFullScreen() {
    m_frame->OnViewFullScreen();
}

void CViewPlayHost::ToggleActualSize() {
    m_frame->OnViewActualSize();
}

void CViewPlayHost::ActivateFrame() {
    m_frame->activateWindow();
}

void CViewPlayHost::SetInfoText(const QString &text) {
    m_view->InfoLine()->setText(text);
}

void CViewPlayHost::SetInfoColours(std::uint32_t textColour, std::uint32_t backColour) {
    m_view->ColourInfoLine(textColour, backColour);
}

std::uint32_t CViewPlayHost::BackColour() const {
    return m_view->m_intBackColor;
}

void CViewPlayHost::SetZoom(int percent) {
    m_view->m_nZoom = percent;
    // A new movie shows whole, whatever the last one was zoomed to.
    m_view->Flash()->Zoom(0);
}

void CViewPlayHost::LayOutMovie(QSize stage) {
    m_view->SetMovieSize(stage);
    m_view->LayOut();
}

void CViewPlayHost::ShowBrowser() {
    m_view->LayOut();
}

void CViewPlayHost::HideBrowser() {
    m_view->LayOut();
}

void CViewPlayHost::SetLoadingProgress(int percent) {
    m_view->LoadingBar()->setValue(percent);
}

void CViewPlayHost::Capture() {
    m_frame->Commands().Execute(ID_CAPTURE);
}

void CViewPlayHost::PlayStateChanged(int state) {
    m_view->m_nPlayState = state;
    m_view->update(); // the margins take the movie's colour, or give it back
}

void CViewPlayHost::SetGameMode(bool on) {
    m_view->m_bGameMode = on;
}

void CViewPlayHost::ShowBackForGameMode() {
    m_view->PlayController()->hide();
    m_view->BackButton()->show();
    m_view->BackButton()->raise();
}

} // namespace kz
