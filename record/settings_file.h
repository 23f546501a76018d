// The settings file "ZX840EN.ini": port, speed and product information from
// one run to the next, as nine raw fields; and where that file lies.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "record/defaults.h"
#include "record/file_io.h"
#include "record/product_mark.h"

namespace zx840 {

inline constexpr char kSettingsFileName[] = "ZX840EN.ini";
inline constexpr char kSettingsCreateFailed[] = "Can't create file ZX840EN.ini";
inline constexpr char kSettingsCreateCaption[] = "Create File";
inline constexpr char kSettingsReadCaption[] = "Warning";

struct Settings {
    std::int32_t Number = kDefaultNumber;
    std::string Type;
    std::string Temperature = kDefaultTemperature;
    std::string Humidity = kDefaultHumidity;
    std::string Operator;
    std::string ComPort = kDefaultComPort;
    std::int32_t BaudRate = kDefaultBaudRate;
    std::string Inspector;
    std::string Manufacturer;

    friend bool operator==(const Settings&, const Settings&) = default;
};

std::vector<std::uint8_t> SerializeSettings(const Settings& settings);

// The fields in file order; from the first one not read whole (the file
// ends, or a text announces more than the file holds) on, the defaults.
// `whole`, when given, tells whether all nine fields were read and nothing
// follows them.
Settings ParseSettings(std::span<const std::uint8_t> bytes, bool* whole = nullptr);

// The product information a settings file carries, which is the whole mark
// but the test day (that is today's at every start), into `mark`.
void ApplySettingsToMark(const Settings& settings, ProductMark& mark);
// What a settings file stores of the product information, port and speed.
Settings SettingsFor(const ProductMark& mark, const std::string& comPort, std::int32_t baudRate);

// What the system says about the two places the settings file can lie.
struct SettingsPlaceFacts {
    bool besideExists = false;    // something named ZX840EN.ini is beside the program
    bool besideWritable = false;  // ... and it is a regular file this user may write
    bool folderWritable = false;  // the program's folder takes new files of this user
    bool perUserExists = false;   // the per-user file is there
    // The program is installed: its folder lies under a system prefix
    // (/usr, /opt, the prefix it was built for) or belongs to another user.
    // Its settings are then per user, root's included: a file beside an
    // installed program would outlive its removal and seed every other
    // user's first start.
    bool installed = false;
};

// Whether a program in `folder` counts as installed by its place alone:
// under /usr, /opt, /bin, /sbin, /snap or `installPrefix` (empty: none).
bool IsSystemProgramFolder(const std::string& folder, const std::string& installPrefix);

struct SettingsLocation {
    std::string readPath;   // the file read at start
    std::string writePath;  // the file written at exit; empty when there is none
    bool perUser = false;   // writePath is the per-user file (its folders may need making)
};

// Where the settings file lies. Beside the program when it is not installed
// and its folder is writable or the file there is (a portable copy, a build
// folder, one made to run from a folder of its own); otherwise in the
// per-user folder. The start reads the file that the exit
// writes; a per-user file that does not exist yet starts from the file
// beside the program, when there is one. `perUserFolder` may be empty (no
// home): then nothing is written.
SettingsLocation ChooseSettingsLocation(const std::string& programFolder,
                                        const std::string& perUserFolder,
                                        const SettingsPlaceFacts& facts);

// $XDG_CONFIG_HOME/Orvalisto, or $HOME/.config/Orvalisto when the first is
// unset, empty or not absolute; empty when neither names a folder.
std::string PerUserSettingsFolder(const char* xdgConfigHome, const char* home);

// The same choice for this process, from the environment and the file system.
SettingsLocation LocateSettingsFile(const std::string& programFolder);

// Reads the settings at `path` into `settings`. A file that is not there
// gives the defaults and success; a file that is there but cannot be read
// (no permission, not a regular file, too big) gives the defaults and the
// reason.
FileStatus ReadSettingsFile(const std::string& path, Settings* settings);

// Writes the settings to the location's file, whole or not at all; the
// per-user folders are made (0700) as needed.
FileStatus WriteSettingsFile(const SettingsLocation& location, const Settings& settings);

}  // namespace zx840
