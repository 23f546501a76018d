#include "commands/command_router.h"

namespace zx840 {

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
