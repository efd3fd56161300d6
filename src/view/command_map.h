// Command routing by identifier. Each command target (view, document, frame, application) owns
// a CommandMap of handlers; the frame asks the targets in routing order and the first one that
// handles an identifier runs it and decides its menu state. An identifier no target handles is
// shown disabled.
#pragma once

#include <functional>
#include <map>
#include <optional>

// The state an update handler sets for one command's menu entry and toolbar button.
struct CmdUI {
    int id = 0;
    bool enabled = true;
    std::optional<bool> checked;  // empty: the handler shows no check mark

    void Enable(bool on = true) { enabled = on; }
    void SetCheck(bool on = true) { checked = on; }
};

class CommandMap {
  public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CmdUI&)>;
    using RangeHandler = std::function<void(int id)>;

    // Registers a handler and optionally its update handler for id.
    void On(int id, Handler run, UpdateHandler update = {});
    // Registers one handler for first..last (both included); it receives the identifier.
    void OnRange(int first, int last, RangeHandler run, UpdateHandler update = {});
    void Remove(int id);

    bool Handles(int id) const;
    // Runs the handler; false when id has none here.
    bool Execute(int id) const;
    // Lets the update handler set the state; false when id has no handler here.
    bool Update(CmdUI& ui) const;

  private:
    struct Entry {
        Handler run;
        UpdateHandler update;
    };
    std::map<int, Entry> m_entries;
};

// Routes through the targets in order (null targets are skipped): the first that handles the
// identifier wins. Without any handler the command is disabled.
bool RouteCommand(std::initializer_list<const CommandMap*> route, int id);
void RouteUpdate(std::initializer_list<const CommandMap*> route, CmdUI& ui);
