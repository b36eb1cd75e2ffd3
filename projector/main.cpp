// kzprojector: the stub of self-running movies and screensavers. A packaged program is this
// stub, the movie, and an 8-byte trailer; the stub copies the movie out of its own file into
// the private temporary folder and plays it through the player's Flash control.

#include "Projector.h"

#include "platform/Paths.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playback/SwfHeader.h"
#include "tools/Packaging.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWidget>

namespace kz {
namespace {

const QString kTitle = QStringLiteral("Vobi Flash 播放器");

// Quits the screensaver on the first key or click, wherever it lands.
class QuitOnInput final : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            QCoreApplication::quit();
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

int Fail(const QString &text) {
    QMessageBox::critical(nullptr, kTitle, text);
    return 1;
}

} // namespace
} // namespace kz

int main(int argc, char **argv) {
    using namespace kz;
    PrepareWebEngine();
    QApplication app(argc, argv);
    const QString self = QFile::decodeName(QCoreApplication::applicationFilePath().toLocal8Bit());
    const ProjectorMode mode = DecideProjectorMode(self, app.arguments().mid(1));
    if (mode == ProjectorMode::Preview)
        return 0;

    const QString temp = TempFolder();
    QString movie;
    if (temp.isEmpty() || !ExtractMovieFromProjector(self, temp, &movie)) {
        return Fail(QStringLiteral("这个程序里没有可以播放的 Flash 影片。\n"
                                   "No Flash movie is attached to this program:\n%1")
                        .arg(self));
    }
    QString runtime = FindRuntimeFolder(FolderWithSep(self), QStringLiteral(KZ_PROGRAM_DIR));
    if (runtime.isEmpty()) {
        // A packaged movie copied elsewhere, from an installed player: the program on the path
        // links into the program directory that holds the runtime.
        const QString player = QStandardPaths::findExecutable(QStringLiteral("KZPlayer"));
        if (!player.isEmpty())
            runtime = FindRuntimeFolder(FolderWithSep(QFileInfo(player).canonicalFilePath()), {});
    }
    if (runtime.isEmpty()) {
        QFile::remove(movie);
        return Fail(QStringLiteral("找不到 Flash 播放组件，请先安装 Vobi Flash 播放器。\n"
                                   "The Flash runtime of the player was not found."));
    }
    // The control looks for its runtime in the program directory.
    SetProgramDirOverride(runtime);

    SwfHeaderInfo header;
    ReadSwfHeader(movie, header);

    QWidget window;
    window.setWindowTitle(FileNameOf(movie));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *flash = new CShockwaveflash1(&window);
    layout->addWidget(flash);
    QuitOnInput quitter;
    if (mode == ProjectorMode::ScreenSaver) {
        app.installEventFilter(&quitter);
        window.setCursor(Qt::BlankCursor);
        // Without a window manager the full-screen state alone does not size the window.
        if (QScreen *screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->geometry());
        window.showFullScreen();
    } else {
        QSize stage(header.right - header.left, header.bottom - header.top);
        const QSize avail = window.screen() ? window.screen()->availableSize() : QSize(1024, 768);
        stage = stage.boundedTo(avail * 0.9);
        window.resize(stage);
        window.show();
    }
    flash->SetScale(QStringLiteral("ShowAll"));
    flash->LoadMovie(0, movie);
    flash->Play();
    const int rc = app.exec();
    QFile::remove(movie);
    return rc;
}
