#include "record/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "record/archive.h"
#include "record/measurement_file.h"
#include "record/product_identity.h"

namespace zx840 {

std::vector<std::uint8_t> SerializeSettings(const Settings& s) {
    std::vector<std::uint8_t> out;
    WriteInt32(out, s.Number);
    WriteArchiveString(out, s.Type);
    WriteArchiveString(out, s.Temperature);
    WriteArchiveString(out, s.Humidity);
    WriteArchiveString(out, s.Operator);
    WriteArchiveString(out, s.ComPort);
    WriteInt32(out, s.BaudRate);
    WriteArchiveString(out, s.Inspector);
    WriteArchiveString(out, s.Manufacturer);
    return out;
}

Settings ParseSettings(std::span<const std::uint8_t> bytes, bool* whole) {
    ArchiveReader in(bytes);
    Settings s;
    // Each field is taken only when read whole; the first failure leaves it
    // and all after it at their defaults.
    const auto text = [&in](std::string& field) {
        std::string value;
        if (!in.ReadString(&value)) {
            return false;
        }
        field = std::move(value);
        return true;
    };
    const auto number = [&in](std::int32_t& field) {
        std::int32_t value = 0;
        if (!in.ReadInt32(&value)) {
            return false;
        }
        field = value;
        return true;
    };
    const bool all = number(s.Number) && text(s.Type) && text(s.Temperature) && text(s.Humidity) &&
                     text(s.Operator) && text(s.ComPort) && number(s.BaudRate) &&
                     text(s.Inspector) && text(s.Manufacturer);
    if (whole != nullptr) {
        *whole = all && in.Remaining() == 0;
    }
    return s;
}

SettingsLocation ChooseSettingsLocation(const std::string& programFolder,
                                        const std::string& perUserFolder,
                                        const SettingsPlaceFacts& facts) {
    const std::string beside = programFolder + "/" + kSettingsFileName;
    if (perUserFolder.empty() ||
        (!facts.installed && (facts.folderWritable || facts.besideWritable))) {
        const bool writable = !facts.installed && (facts.folderWritable || facts.besideWritable);
        return {beside, writable ? beside : std::string(), false};
    }
    const std::string perUser = perUserFolder + "/" + kSettingsFileName;
    const bool fromBeside = !facts.perUserExists && facts.besideExists;
    return {fromBeside ? beside : perUser, perUser, true};
}

bool IsSystemProgramFolder(const std::string& folder, const std::string& installPrefix) {
    const auto under = [&folder](std::string prefix) {
        while (prefix.size() > 1 && prefix.back() == '/') {
            prefix.pop_back();
        }
        return !prefix.empty() && prefix != "/" &&
               (folder == prefix || folder.rfind(prefix + "/", 0) == 0);
    };
    for (const char* prefix : {"/usr", "/opt", "/bin", "/sbin", "/snap"}) {
        if (under(prefix)) {
            return true;
        }
    }
    return under(installPrefix);
}

std::string PerUserSettingsFolder(const char* xdgConfigHome, const char* home) {
    std::string base;
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        base = xdgConfigHome;
    } else if (home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/" + kSettingsOrganization;
}

SettingsLocation LocateSettingsFile(const std::string& programFolder) {
    const char* home = std::getenv("HOME");
    std::string accountHome;
    if (home == nullptr || home[0] != '/') {
        // A process started without HOME still has an account.
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            accountHome = found->pw_dir;
            home = accountHome.c_str();
        }
    }
    const std::string perUserFolder = PerUserSettingsFolder(std::getenv("XDG_CONFIG_HOME"), home);
    const std::string beside = programFolder + "/" + kSettingsFileName;
    SettingsPlaceFacts facts;
    struct stat info {};
    facts.besideExists = ::lstat(beside.c_str(), &info) == 0;
    facts.besideWritable = facts.besideExists && ::stat(beside.c_str(), &info) == 0 &&
                           S_ISREG(info.st_mode) &&
                           faccessat(AT_FDCWD, beside.c_str(), W_OK, AT_EACCESS) == 0;
    facts.folderWritable = faccessat(AT_FDCWD, programFolder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    facts.perUserExists = !perUserFolder.empty() &&
                          ::lstat((perUserFolder + "/" + kSettingsFileName).c_str(), &info) == 0;
    facts.installed = IsSystemProgramFolder(programFolder, ZX840_INSTALL_PREFIX) ||
                      ::stat(programFolder.c_str(), &info) != 0 || info.st_uid != ::geteuid();
    return ChooseSettingsLocation(programFolder, perUserFolder, facts);
}

FileStatus ReadSettingsFile(const std::string& path, Settings* settings) {
    *settings = Settings{};
    std::vector<std::uint8_t> bytes;
    const FileStatus status = ReadWholeFile(path, &bytes, kMaxTestFileBytes);
    if (!status) {
        // No file at all is the first run; anything else there is refused.
        return status.sysErrno == ENOENT || status.sysErrno == ENOTDIR ? FileStatus{} : status;
    }
    *settings = ParseSettings(bytes);
    return {};
}

FileStatus WriteSettingsFile(const SettingsLocation& location, const Settings& settings) {
    if (location.writePath.empty()) {
        return {EACCES, "no folder to keep the settings in"};
    }
    if (location.perUser) {
        // Every missing folder on the way, readable by this user only.
        const std::string folder = location.writePath.substr(0, location.writePath.rfind('/'));
        for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            const std::string part = folder.substr(0, slash);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return {errno};
            }
            if (slash == std::string::npos) {
                break;
            }
        }
    }
    AtomicWriteOptions options;
    if (location.perUser) {
        // This user's own: the folder made before (by the per-user
        // registry area) may be open to others; the file never is.
        const std::string folder = location.writePath.substr(0, location.writePath.rfind('/'));
        ::chmod(folder.c_str(), 0700);
        options.mode = 0600;
    }
    return WriteFileAtomically(location.writePath, SerializeSettings(settings), options);
}

void ApplySettingsToMark(const Settings& settings, ProductMark& mark) {
    mark.Manufacturer = settings.Manufacturer;
    mark.Type = settings.Type;
    mark.Number = settings.Number;
    mark.Temperature = settings.Temperature;
    mark.Humidity = settings.Humidity;
    mark.Operator = settings.Operator;
    mark.Inspector = settings.Inspector;
}

Settings SettingsFor(const ProductMark& mark, const std::string& comPort, std::int32_t baudRate) {
    Settings settings;
    settings.Number = mark.Number;
    settings.Type = mark.Type;
    settings.Temperature = mark.Temperature;
    settings.Humidity = mark.Humidity;
    settings.Operator = mark.Operator;
    settings.ComPort = comPort;
    settings.BaudRate = baudRate;
    settings.Inspector = mark.Inspector;
    settings.Manufacturer = mark.Manufacturer;
    return settings;
}

}  // namespace zx840
