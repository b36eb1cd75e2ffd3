#include "Timers.h"

#include <QTimer>

namespace kz {

namespace {
QString TimerName(int id) {
    return QStringLiteral("timer%1").arg(id);
}
} // namespace

QTimer *MakeTimer(QObject *owner, const TimerSpec &spec) {
    auto *t = new QTimer(owner);
    t->setObjectName(TimerName(spec.id));
    t->setInterval(spec.ms);
    t->setSingleShot(spec.once);
    return t;
}

bool TimerActive(const QObject *owner, int id) {
    const QTimer *t = owner->findChild<QTimer *>(TimerName(id), Qt::FindDirectChildrenOnly);
    return t && t->isActive();
}

} // namespace kz
