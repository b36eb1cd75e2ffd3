#pragma once
// The main frame, as far as the movie view needs it: the window with its menu and status bar,
// the screen-mode flags and their toggles, `m_bStartFile`, and the hand-over handler (which
// the play-list work completes).

#include "shell/CommandTable.h"

#include <QByteArray>
#include <QMainWindow>
#include <QStringList>

#include <functional>

class QLabel;

namespace kz {

class CKZPlayerView;
class FlashControl;
class BrowserControl;

struct ControlFactory {
    std::function<FlashControl *(QWidget *)> flash;
    std::function<BrowserControl *(QWidget *)> browser;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `commandLineFile` is the application's command-line file (may be empty).
    CMainFrame(const ControlFactory &controls, const QString &commandLineFile,
               QWidget *parent = nullptr);
    ~CMainFrame() override;

    CKZPlayerView *View() const { return m_view; }
    CommandTable &Commands() { return *m_commands; }
    // Menu 128's sub-menus; the view pops up the third ("播放").
    QMenu *SubMenu(int index) const;

    // The second status-bar pane, widened to the text.
    void SetStatusText(const QString &text);
    QString StatusText() const;

    void OnViewFullScreen();
    void OnViewActualSize();

    // A record handed over by a second start (data word, bytes).
    void OnCopyData(quint32 dataWord, const QByteArray &data);

    std::uint8_t m_bStartFile = 0;
    QString m_strCommandLineFile;
    int m_bFullScreen = 0;
    int m_bActualSize = 0;
    int m_bTaskBar = 0; // minimise to the notification area (a setting of the frame)
    // The files second starts have handed over, in order.
    QStringList m_handedOverFiles;

signals:
    void FileHandedOver(const QString &path);

protected:
    void changeEvent(QEvent *event) override;

private:
    void EnterScreenMode();
    void LeaveScreenMode();

    CommandTable *m_commands = nullptr;
    CKZPlayerView *m_view = nullptr;
    QList<QMenu *> m_menus;
    QLabel *m_statusPane = nullptr;
    QByteArray m_savedGeometry;
    bool m_wasMaximised = false;
};

} // namespace kz
