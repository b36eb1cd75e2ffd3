#pragma once
// The command table: every command id has one QAction (caption and key from the menu texts),
// a handler and an update rule. Rules run before a menu shows and on a short idle timer; a
// command without a handler is disabled (its feature comes later).

#include "res/Menus.h"

#include <QHash>
#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace kz {

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

class CommandTable : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;
    using UpdateRule = std::function<CommandState()>;

    explicit CommandTable(QObject *parent = nullptr);

    // The action of a command id (made on first use); null for ids without a text.
    QAction *Action(int id);
    // Routes a command: the handler runs when the command is triggered and enabled. A rule
    // that ever reports `checked` makes the action checkable.
    void Route(int id, Handler handler, UpdateRule rule = {}, bool checkable = false);
    bool HasHandler(int id) const;

    // Evaluates every rule now.
    void UpdateAll();
    // Runs a command as a menu click would (after its rule); false when disabled or unrouted.
    bool Execute(int id);

    // A menu of the table's actions; it updates the rules before it shows.
    QMenu *BuildMenu(const MenuSpec &spec, QWidget *parent);

private:
    struct Entry {
        QAction *action = nullptr;
        Handler handler;
        UpdateRule rule;
    };
    void Apply(Entry &e);

    QHash<int, Entry> m_entries;
    QTimer *m_idle = nullptr;
};

inline constexpr int kIdleUpdateMs = 250;

} // namespace kz
