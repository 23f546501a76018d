#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "commands/command_ids.h"
#include "commands/command_router.h"
#include "commands/command_table.h"

namespace zx840 {
namespace {

// A target that handles some commands, marks some, and logs what it ran.
class FakeTarget : public CommandTarget {
  public:
    FakeTarget(const std::string& name, const std::set<int>& handles,
               std::vector<std::string>& log) {
        std::vector<CommandHandler> table;
        for (const int id : handles) {
            table.push_back(
                {id, [&log, name, id] { log.push_back(name + ":" + std::to_string(id)); }});
        }
        AddCommandHandlers(std::move(table));
    }
    // Decides the state of `id`: enabled or not, and marked.
    void Decide(int id, bool enabled) {
        AddCommandHandlers({{id, {}, [enabled](CommandState& state) {
                                 state.enabled = enabled;
                                 state.checkable = true;
                                 state.checked = true;
                             }}});
    }
};

TEST(CommandRouter, FirstHandlerWinsAndUnhandledCommandsAreDisabled) {
    std::vector<std::string> log;
    FakeTarget view("view", {1, 2}, log);
    FakeTarget document("document", {2, 3}, log);
    FakeTarget frame("frame", {}, log);
    FakeTarget app("app", {3, 4}, log);
    CommandRouter router;
    router.SetTargets({&view, &document, &frame, &app});

    EXPECT_TRUE(router.Dispatch(2));
    EXPECT_TRUE(router.Dispatch(3));
    EXPECT_TRUE(router.Dispatch(4));
    EXPECT_FALSE(router.Dispatch(5));
    EXPECT_EQ(log, (std::vector<std::string>{"view:2", "document:3", "app:4"}));

    EXPECT_TRUE(router.State(4).enabled);
    EXPECT_FALSE(router.State(5).enabled);
    EXPECT_FALSE(router.State(5).checkable);

    // An update handler decides, even for a command handled further down.
    frame.Decide(4, false);
    EXPECT_FALSE(router.State(4).enabled);
    EXPECT_TRUE(router.State(4).checked);
    EXPECT_FALSE(router.Dispatch(4));       // a disabled command does not run
    EXPECT_FALSE(frame.HandlesCommand(4));  // deciding the state is not handling it
    EXPECT_EQ(log.size(), 3u);
}

TEST(CommandTable, EveryMenuToolbarAndKeyCommandIsKnownAndMenusBalance) {
    int depth = 0;
    std::set<int> ids;
    for (const MenuSpec& item : MenuBar()) {
        depth += item.entry == MenuEntry::Popup ? 1 : item.entry == MenuEntry::EndPopup ? -1 : 0;
        ASSERT_GE(depth, 0);
        if (item.entry == MenuEntry::Item) {
            EXPECT_NE(FindCommand(item.id), nullptr) << item.text;
            EXPECT_TRUE(ids.insert(item.id).second) << "twice in the menus: " << item.id;
        }
    }
    EXPECT_EQ(depth, 0);
    for (const AcceleratorSpec& key : Accelerators()) {
        EXPECT_NE(FindCommand(key.id), nullptr) << key.keys;
    }
    int buttons = 0;
    for (const ToolbarSpec& slot : Toolbar()) {
        if (slot.id != 0) {
            ++buttons;
            EXPECT_NE(FindCommand(slot.id), nullptr);
        }
    }
    EXPECT_EQ(buttons, 9);
    // Ctrl+3 to Ctrl+8 stay unbound: COM3 to COM8 are menu-only.
    for (const AcceleratorSpec& key : Accelerators()) {
        for (char digit = '3'; digit <= '8'; ++digit) {
            EXPECT_NE(std::string(key.keys), std::string("Ctrl+") + digit);
        }
    }
}

}  // namespace
}  // namespace zx840
