#pragma once
// The updater's dialog: a line of text and a progress bar while the package is installed.
// Half a second after it shows, the installation runs on its own thread and the dialog closes
// when it ends, whatever the outcome; Escape before then closes it and leaves the package for
// the next start.

#include "updater/PackageInstall.h"

#include <QDialog>

class QProgressBar;
class QTimer;

namespace kz {

inline constexpr int kInstallTimerId = 1;
inline constexpr int kInstallDelayMs = 500;
inline constexpr int kProgressId = 1001;

// The message of a file that could not be written: what failed, and that the player starts
// without the update.
QString FileErrorText(const QString &path, const QString &why);

class CvupdateDlg : public QDialog {
    Q_OBJECT
public:
    explicit CvupdateDlg(const QString &programDir, QWidget *parent = nullptr);

    QProgressBar *Progress() const { return m_progress; }
    // A progress bar's step: past its end it starts again from its beginning.
    void StepIt();

    // How the player is started and file errors are shown (tests put their own).
    std::function<bool(const QString &)> m_startPlayer;
    std::function<void(const QString &path, const QString &why)> m_showFileError;

    // Closing before the timer (Escape) leaves the package alone.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OnTimer();

    QString m_programDir;
    QProgressBar *m_progress = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace kz
