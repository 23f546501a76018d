#include "commands/command_table.h"

#include "commands/command_ids.h"

namespace zx840 {
namespace {

constexpr CommandSpec kCommands[] = {
    {kCmdFileNew, "New", nullptr, nullptr},
    {kCmdFileOpen, "Open", "Open a ZX840 file", "Open"},
    {kCmdFileSaveAs, "Save As", "Save Current File", "Save As"},
    {kCmdFilePrintSetup, "Print Setup", nullptr, nullptr},
    {kCmdFilePrint, "Print", "Print Current File", "Print"},
    {kCmdFilePrintDirect, "Print without dialog", nullptr, nullptr},
    {kCmdFilePrintPreview, "Print Preview", nullptr, nullptr},
    {kCmdAppExit, "Exit", "Exit ZX840", nullptr},
    {kCmdCommPass, "Comm Pass", "Communication", "Communication"},
    {kCmdCom1 + 0, "COM1", "Select COM1", nullptr},
    {kCmdCom1 + 1, "COM2", "Select COM2", nullptr},
    {kCmdCom1 + 2, "COM3", "Select COM3", nullptr},
    {kCmdCom1 + 3, "COM4", "Select COM4", nullptr},
    {kCmdCom1 + 4, "COM5", "Select COM5", nullptr},
    {kCmdCom1 + 5, "COM6", "Select COM6", nullptr},
    {kCmdCom1 + 6, "COM7", "Select COM7", nullptr},
    {kCmdCom1 + 7, "COM8", "Select COM8", nullptr},
    {kCmdPortDevices, "Port Devices", "Choose the serial device of each COM port", nullptr},
    {kCmdBaud2400, "2400 baud", nullptr, nullptr},
    {kCmdBaud9600, "9600 baud", nullptr, nullptr},
    {kCmdContinuousStart, "Continuate Test", "Continuate Test", "Continuate Test"},
    {kCmdContinuousStop, "Stop Continuate Test", "Stop Continuate Test ", "Stop Continuate Test"},
    {kCmdNumberAddOne, "Number add one", "Number of product add one", "Number add one"},
    {kCmdProductMark, "Product Mark", "Input or look over the information of product.", nullptr},
    {kCmdTestPlan, "Test Plan", "Choose or edit the test plan that judges each measurement.",
     nullptr},
    {kCmdJudgeAgain, "Judge Again",
     "Judge the measurement shown again against today's test plan; a kept verdict stays as it "
     "was.",
     nullptr},
    {kCmdResultsStore, "Results Store",
     "Choose where every measurement is kept, or stop keeping them.", nullptr},
    {kCmdHistory, "History", "Find, open and export the measurements kept in the results store.",
     nullptr},
    {kCmdRemoteControl, "Remote Control",
     "Let test sequencers on the network measure through this window (SCPI over TCP).", nullptr},
    {kCmdViewTrend, "Trend",
     "Show or hide the trend of the continuous test: readings over time, statistics, energy.",
     nullptr},
    {kCmdAppAbout, "About", "Display the Information About ZX840", nullptr},
};

constexpr MenuSpec kMenuBar[] = {
    {MenuEntry::Popup, "&File"},
    {MenuEntry::Item, "&Open...\tCtrl+O", kCmdFileOpen},
    {MenuEntry::Item, "&Save As...\tCtrl+S", kCmdFileSaveAs},
    {MenuEntry::Separator},
    {MenuEntry::Item, "&Print...\tCtrl+P", kCmdFilePrint},
    {MenuEntry::Separator},
    {MenuEntry::Item, "E&xit", kCmdAppExit},
    {MenuEntry::EndPopup},
    {MenuEntry::Popup, "&Communication"},
    {MenuEntry::Item, "Comm &Pass\tF3", kCmdCommPass},
    {MenuEntry::Separator},
    {MenuEntry::Popup, "COM Port"},
    {MenuEntry::Item, "COM&1", kCmdCom1 + 0},
    {MenuEntry::Item, "COM&2", kCmdCom1 + 1},
    {MenuEntry::Item, "COM&3", kCmdCom1 + 2},
    {MenuEntry::Item, "COM&4", kCmdCom1 + 3},
    {MenuEntry::Item, "COM&5", kCmdCom1 + 4},
    {MenuEntry::Item, "COM&6", kCmdCom1 + 5},
    {MenuEntry::Item, "COM&7", kCmdCom1 + 6},
    {MenuEntry::Item, "COM&8", kCmdCom1 + 7},
    {MenuEntry::Separator},
    {MenuEntry::Item, "Port &Devices...", kCmdPortDevices},
    {MenuEntry::EndPopup},
    {MenuEntry::Popup, "Comm Band"},
    {MenuEntry::Item, "2400BPS(&2)", kCmdBaud2400},
    {MenuEntry::Item, "9600BPS(&9)", kCmdBaud9600},
    {MenuEntry::EndPopup},
    {MenuEntry::EndPopup},
    {MenuEntry::Popup, "&Product"},
    {MenuEntry::Item, "Product &Mark...\tCtrl+M", kCmdProductMark},
    {MenuEntry::Item, "&Test Plan...", kCmdTestPlan},
    {MenuEntry::Item, "&Judge Again", kCmdJudgeAgain},
    {MenuEntry::Separator},
    {MenuEntry::Item, "&Results Store...", kCmdResultsStore},
    {MenuEntry::Item, "&History...", kCmdHistory},
    {MenuEntry::Separator},
    {MenuEntry::Item, "Re&mote Control...", kCmdRemoteControl},
    {MenuEntry::EndPopup},
    {MenuEntry::Popup, "&View"},
    {MenuEntry::Item, "&Trend", kCmdViewTrend},
    {MenuEntry::EndPopup},
    {MenuEntry::Popup, "&Help"},
    {MenuEntry::Item, "&About ZX840...", kCmdAppAbout},
    {MenuEntry::EndPopup},
};

constexpr AcceleratorSpec kAccelerators[] = {
    {"Ctrl+1", kCmdCom1 + 0},
    {"Ctrl+2", kCmdCom1 + 1},
    {"Ctrl+A", kCmdNumberAddOne},
    {"Ctrl+M", kCmdProductMark},
    {"Ctrl+O", kCmdFileOpen},
    {"Ctrl+P", kCmdFilePrint},
    {"Ctrl+Shift+Alt+P", kCmdFilePrintPreview},
    {"Ctrl+S", kCmdFileSaveAs},
    {"F3", kCmdCommPass},
};

constexpr ToolbarSpec kToolbar[] = {
    {kCmdFileOpen, "toolbar-open.png"},
    {kCmdFileSaveAs, "toolbar-save.png"},
    {0, nullptr},
    {kCmdCommPass, "toolbar-comm.png"},
    {0, nullptr},
    {kCmdContinuousStart, "toolbar-continuous.png"},
    {kCmdContinuousStop, "toolbar-stop.png"},
    {0, nullptr},
    {kCmdNumberAddOne, "toolbar-number.png"},
    {0, nullptr},
    {kCmdFilePrint, "toolbar-print.png"},
    {kCmdFilePrintPreview, "toolbar-preview.png"},
    {0, nullptr},
    {kCmdAppAbout, "toolbar-about.png"},
};

}  // namespace

std::span<const CommandSpec> Commands() {
    return kCommands;
}

const CommandSpec* FindCommand(int id) {
    for (const CommandSpec& command : kCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

std::span<const MenuSpec> MenuBar() {
    return kMenuBar;
}
std::span<const AcceleratorSpec> Accelerators() {
    return kAccelerators;
}
std::span<const ToolbarSpec> Toolbar() {
    return kToolbar;
}

}  // namespace zx840
