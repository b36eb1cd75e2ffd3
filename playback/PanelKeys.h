#pragma once
// Keys on the play controller and on the sound panel: Escape leaves a screen mode, F8 captures,
// every other key down and up goes to the movie.

class QKeyEvent;

namespace kz {

class FlashControl;
class PlayHost;

// Sends a copy of the key event to the movie's own input widget (the end of the control's
// focus-proxy chain).
void SendKeyToMovie(FlashControl *flash, QKeyEvent *event);

// A key pressed on a panel. Escape leaves full-screen mode (activating the frame) and actual-size
// mode (activating it when `activateAfterActualSize`), and returns false so the panel passes it
// on; every other key is handled here.
bool RoutePanelKeyPress(PlayHost &host, FlashControl *flash, QKeyEvent *event,
                        bool activateAfterActualSize);

} // namespace kz
