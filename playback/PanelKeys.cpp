#include "PanelKeys.h"

#include "platform/flash/FlashControl.h"
#include "playback/PlayHost.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace kz {

void SendKeyToMovie(FlashControl *flash, QKeyEvent *event) {
    QWidget *target = flash;
    while (target && target->focusProxy())
        target = target->focusProxy();
    if (!target)
        return;
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                   event->nativeVirtualKey(), event->nativeModifiers(), event->text(),
                   event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(target, &copy);
}

bool RoutePanelKeyPress(PlayHost &host, FlashControl *flash, QKeyEvent *event,
                        bool activateAfterActualSize) {
    if (event->key() == Qt::Key_Escape) {
        if (host.FullScreen()) {
            host.ToggleFullScreen();
            host.ActivateFrame();
        }
        if (host.ActualSize()) {
            host.ToggleActualSize();
            if (activateAfterActualSize)
                host.ActivateFrame();
        }
        return false;
    }
    if (event->key() == Qt::Key_F8)
        host.Capture();
    else
        SendKeyToMovie(flash, event);
    return true;
}

} // namespace kz
