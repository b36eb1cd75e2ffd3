#include "CommandTable.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>

namespace kz {

CommandTable::CommandTable(QObject *parent) : QObject(parent) {
    m_idle = new QTimer(this);
    m_idle->setInterval(kIdleUpdateMs);
    connect(m_idle, &QTimer::timeout, this, &CommandTable::UpdateAll);
    m_idle->start();
}

QAction *CommandTable::Action(int id) {
    auto it = m_entries.find(id);
    if (it != m_entries.end())
        return it->action;
    const CommandText text = CommandTextOf(id);
    if (text.id == 0)
        return nullptr;
    auto *action = new QAction(text.caption, this);
    action->setObjectName(QStringLiteral("ID_%1").arg(id));
    action->setProperty("commandId", id);
    if (!text.key.isEmpty())
        action->setShortcut(QKeySequence(text.key));
    action->setEnabled(false);
    connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
    m_entries.insert(id, Entry{action, {}, {}});
    return action;
}

void CommandTable::Route(int id, Handler handler, UpdateRule rule, bool checkable) {
    if (!Action(id))
        return;
    Entry &e = m_entries[id];
    e.handler = std::move(handler);
    e.rule = std::move(rule);
    e.action->setCheckable(checkable);
    Apply(e);
}

bool CommandTable::HasHandler(int id) const {
    auto it = m_entries.find(id);
    return it != m_entries.end() && bool(it->handler);
}

void CommandTable::Apply(Entry &e) {
    if (!e.handler) {
        e.action->setEnabled(false);
        return;
    }
    const CommandState s = e.rule ? e.rule() : CommandState{};
    e.action->setEnabled(s.enabled);
    if (e.action->isCheckable())
        e.action->setChecked(s.checked);
}

void CommandTable::UpdateAll() {
    for (Entry &e : m_entries)
        Apply(e);
}

bool CommandTable::Execute(int id) {
    auto it = m_entries.find(id);
    if (it == m_entries.end() || !it->handler)
        return false;
    Apply(*it);
    if (!it->action->isEnabled())
        return false;
    const Handler handler = it->handler; // the handler may re-route commands
    handler();
    UpdateAll();
    return true;
}

QMenu *CommandTable::BuildMenu(const MenuSpec &spec, QWidget *parent) {
    auto *menu = new QMenu(spec.caption, parent);
    for (int id : spec.items) {
        const int sub = SubMenuIndex(id);
        if (sub >= 0 && sub < spec.subMenus.size()) {
            // A sub-menu is a choice of one of its items, shown as such.
            QMenu *choices = BuildMenu(spec.subMenus.at(sub), menu);
            auto *group = new QActionGroup(choices);
            for (QAction *a : choices->actions())
                if (!a->isSeparator())
                    group->addAction(a);
            menu->addMenu(choices);
        } else if (id == 0)
            menu->addSeparator();
        else if (QAction *a = Action(id))
            menu->addAction(a);
    }
    connect(menu, &QMenu::aboutToShow, this, &CommandTable::UpdateAll);
    return menu;
}

} // namespace kz
