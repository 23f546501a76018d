// Every command of the program in one place: menu texts, accelerators,
// toolbar buttons, status-bar prompts and tooltips. The menu bar, the
// accelerators and the toolbar are all built from these tables.
#pragma once

#include <span>

namespace zx840 {

struct CommandSpec {
    int id;
    const char* name;     // what the command is called, for screen readers
    const char* prompt;   // status bar while the menu item is highlighted; nullptr for none
    const char* tooltip;  // over the toolbar button; nullptr for none
};

enum class MenuEntry { Popup, EndPopup, Item, Separator };

// The menu bar as a flat list, popups opened and closed like brackets. An
// item's text carries its shortcut after a tab.
struct MenuSpec {
    MenuEntry entry;
    const char* text = nullptr;
    int id = 0;
};

struct AcceleratorSpec {
    const char* keys;  // in the portable form of key sequences, "Ctrl+Shift+Alt+P"
    int id;
};

// A toolbar slot: a command with its image, or a separator (id 0).
struct ToolbarSpec {
    int id;
    const char* image;  // resource name of the 16x15 image
};

std::span<const CommandSpec> Commands();
const CommandSpec* FindCommand(int id);
std::span<const MenuSpec> MenuBar();
std::span<const AcceleratorSpec> Accelerators();
std::span<const ToolbarSpec> Toolbar();

inline constexpr char kReadyPrompt[] = "Ready!";

}  // namespace zx840
