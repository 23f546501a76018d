// Routes a command to the first object that handles it: view, document,
// frame, application. Each object may also decide the command's enabled
// state and check mark; a command nobody handles is disabled.
#pragma once

#include <vector>

namespace zx840 {

struct CommandState {
    bool enabled = true;
    bool checkable = false;  // set by an update handler that shows a mark
    bool checked = false;
};

class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    // Carries out the command; false when this object has no handler for it.
    virtual bool OnCommand(int id) = 0;
    // Sets the state when this object has an update handler for the command
    // (returns true); false leaves the decision to the others.
    virtual bool OnUpdateCommand(int id, CommandState& state) {
        (void)id;
        (void)state;
        return false;
    }
    // Whether OnCommand would handle the command.
    virtual bool HandlesCommand(int id) const = 0;
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
