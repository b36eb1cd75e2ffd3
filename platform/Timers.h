#pragma once
// A window's timers by their ids: each is a named constant with its id and interval, made into
// a QTimer child of the window named "timer<id>", so that the window and its tests ask after a
// timer by id alone.

#include <QString>

class QObject;
class QTimer;

namespace kz {

struct TimerSpec {
    int id = 0;
    int ms = 0;        // the interval; a window may set another before it starts the timer
    bool once = false; // single shot
};

// The timer of that id and interval, owned by `owner`.
QTimer *MakeTimer(QObject *owner, const TimerSpec &spec);
// Whether the owner's timer of that id runs; false when it has none.
bool TimerActive(const QObject *owner, int id);

} // namespace kz
