#include "gui/app/ActionTable.h"

#include <QWidget>

namespace tapewell::gui {

ActionTable::ActionTable(QWidget* window) : QObject(window), m_window(window) {}

QAction* ActionTable::Add(int id, const QString& text, const QKeySequence& shortcut,
                          bool checkable) {
    if (QAction* existing = Get(id)) {
        return existing;
    }
    auto* action = new QAction(text, m_window);
    action->setData(id);
    action->setCheckable(checkable);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
    }
    m_window->addAction(action);
    m_actions.emplace(id, action);
    return action;
}

QAction* ActionTable::Get(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

}  // namespace tapewell::gui
