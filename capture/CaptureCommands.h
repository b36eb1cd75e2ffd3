#pragma once
// The movie view's capture, send-by-mail and save-as commands over the Flash control: the
// real screen, clipboard, mail program, save dialog and message box, each replaceable by tests.

#include "capture/FrameCapture.h"
#include "capture/MovieMail.h"

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace kz {

class FlashControl;

inline constexpr auto kMailLoadFailText = "Library load fail!";
inline constexpr auto kMovieFilter = "Flash Files(*.swf)";

class CCaptureCommands : public QObject {
    Q_OBJECT
public:
    struct Services {
        // The screen the control is on (geometry, depth, grabbing) and the clipboard.
        std::function<CaptureScreen(const QRect &controlOnScreen)> screen;
        MailServices mail;
        // Shown when there is no mail program (error icon; does not wait for the user).
        std::function<void(const QString &text)> error;
        // Save dialog: initial file, filter, default suffix; empty when cancelled.
        std::function<QString(const QString &initial, const QString &filter, const QString &suffix)>
            saveFile;
        // The URL cache folder web movies are looked up in.
        QString urlCacheFolder;
    };

    CCaptureCommands(FlashControl *flash, QWidget *dialogParent);

    // 32799: the control's screen area to the clipboard and the numbered image files.
    CaptureOutcome OnCapture(const FrameSettings &settings);
    // 32816: the movie's local file attached to a new mail.
    void OnSendMail(bool urlMode);
    // 32817: the movie's local file copied where the user chooses.
    void OnSaveMovieAs(bool urlMode);

    // The control's rectangle in global coordinates.
    QRect ControlOnScreen() const;

    Services m_services;

private:
    FlashControl *m_flash;
    QWidget *m_parent;
};

} // namespace kz
