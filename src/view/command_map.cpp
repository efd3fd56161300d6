#include "view/command_map.h"

#include <utility>

void CommandMap::On(int id, Handler run, UpdateHandler update) {
    m_entries[id] = Entry{std::move(run), std::move(update)};
}

void CommandMap::OnRange(int first, int last, RangeHandler run, UpdateHandler update) {
    for (int id = first; id <= last; ++id)
        On(
            id, [run, id] { run(id); }, update);
}

void CommandMap::Remove(int id) {
    m_entries.erase(id);
}

bool CommandMap::Handles(int id) const {
    return m_entries.contains(id);
}

bool CommandMap::Execute(int id) const {
    auto it = m_entries.find(id);
    if (it == m_entries.end()) return false;
    if (it->second.run) it->second.run();
    return true;
}

bool CommandMap::Update(CmdUI& ui) const {
    auto it = m_entries.find(ui.id);
    if (it == m_entries.end()) return false;
    ui.enabled = true;
    if (it->second.update) it->second.update(ui);
    return true;
}

bool RouteCommand(std::initializer_list<const CommandMap*> route, int id) {
    for (const CommandMap* target : route) {
        if (target && target->Execute(id)) return true;
    }
    return false;
}

void RouteUpdate(std::initializer_list<const CommandMap*> route, CmdUI& ui) {
    for (const CommandMap* target : route) {
        if (target && target->Update(ui)) return;
    }
    ui.enabled = false;
}
