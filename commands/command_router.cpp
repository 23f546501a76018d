#include "commands/command_router.h"

namespace zx840 {

bool CommandTarget::OnCommand(int id) {
    const auto found = handlers_.find(id);
    if (found == handlers_.end() || !found->second.run) {
        return false;
    }
    found->second.run();
    return true;
}

bool CommandTarget::OnUpdateCommand(int id, CommandState& state) const {
    const auto found = handlers_.find(id);
    if (found == handlers_.end() || !found->second.update) {
        return false;
    }
    found->second.update(state);
    return true;
}

bool CommandTarget::HandlesCommand(int id) const {
    const auto found = handlers_.find(id);
    return found != handlers_.end() && found->second.run;
}

void CommandTarget::AddCommandHandlers(std::vector<CommandHandler> handlers) {
    for (CommandHandler& handler : handlers) {
        const int id = handler.id;
        handlers_.insert_or_assign(id, std::move(handler));
    }
}

CommandState CommandRouter::State(int id) const {
    CommandState state;
    for (CommandTarget* target : targets_) {
        if (target->OnUpdateCommand(id, state)) {
            return state;
        }
    }
    state.enabled = false;
    for (CommandTarget* target : targets_) {
        if (target->HandlesCommand(id)) {
            state.enabled = true;
            break;
        }
    }
    return state;
}

bool CommandRouter::Dispatch(int id) {
    if (!State(id).enabled) {
        return false;
    }
    for (CommandTarget* target : targets_) {
        if (target->OnCommand(id)) {
            return true;
        }
    }
    return false;
}

}  // namespace zx840
