#pragma once
// The player's main frame with the real Flash and browser controls, for end-to-end tests that
// drive it in-process: its settings, data and cache in a private folder of its own, the program
// directory's state files kept as they were.

#include "platform/flash/Explorer.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playback/PlayCtrlDlg.h"
#include "shell/KZPlayerView.h"
#include "shell/MainFrm.h"
#include "support/E2eSupport.h"

#include <QLabel>
#include <QTemporaryDir>

#include <memory>

namespace kz::test {

struct RealFrame {
    KeepStateFiles keep;
    QTemporaryDir home;
    std::unique_ptr<CMainFrame> frame;
    CMedia *flash = nullptr;
    CPlayCtrlDlg *ctrl = nullptr;
    explicit RealFrame(const QString &commandLine = {}) {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
        Start(commandLine);
    }
    // Closes the player and starts it again over the same folders.
    void Restart(const QString &commandLine = {}) {
        frame->close();
        frame.reset();
        Start(commandLine);
    }
    void Start(const QString &commandLine) {
        ControlFactory controls;
        controls.flash = [](QWidget *p) { return new CMedia(p); };
        controls.browser = [](QWidget *p) { return new CExplorer1(p); };
        frame = std::make_unique<CMainFrame>(controls, commandLine);
        frame->resize(900, 700);
        frame->show();
        frame->View()->OnInitialUpdate();
        flash = static_cast<CMedia *>(frame->View()->Flash());
        ctrl = frame->View()->PlayCtrl();
    }
    // The view's information line.
    QString Info() const { return frame->View()->InfoLine()->text(); }
};

} // namespace kz::test
