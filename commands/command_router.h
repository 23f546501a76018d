// Routes a command to the first object that handles it: view, document,
// frame, application. Each object may also decide the command's enabled
// state and check mark; a command nobody handles is disabled.
#pragma once

#include <functional>
#include <map>
#include <vector>

namespace zx840 {

struct CommandState {
    bool enabled = true;
    bool checkable = false;  // set by an update handler that shows a mark
    bool checked = false;
};

// One row of a target's handler table: what the command does, and how the
// target decides its state.
struct CommandHandler {
    int id = 0;
    std::function<void()> run;  // empty: the target only decides the state
    // Empty: the state is left to the others (enabled while some target runs it).
    std::function<void(CommandState&)> update = {};
};

class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    // Carries out the command; false when this object has no handler for it.
    bool OnCommand(int id);
    // Sets the state when this object has an update handler for the command
    // (returns true); false leaves the decision to the others.
    bool OnUpdateCommand(int id, CommandState& state) const;
    // Whether OnCommand would handle the command.
    bool HandlesCommand(int id) const;

  protected:
    // Rows of the handler table, filled when the object is made; a row for
    // an id already there replaces it.
    void AddCommandHandlers(std::vector<CommandHandler> handlers);

  private:
    std::map<int, CommandHandler> handlers_;
};

class CommandRouter {
  public:
    // Targets in routing order; they must outlive the router's use.
    void SetTargets(std::vector<CommandTarget*> targets) { targets_ = std::move(targets); }

    // The state of a command: the first update handler decides; without one
    // the command is enabled when some target handles it.
    CommandState State(int id) const;

    // Runs the command when it is enabled. True when some target ran it.
    bool Dispatch(int id);

  private:
    std::vector<CommandTarget*> targets_;
};

}  // namespace zx840
