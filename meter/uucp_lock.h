// The traditional lock file of a serial device, LCK..NAME in the system's
// lock folder, holding the owner's process id as ten ASCII digits and a line
// feed. Terminal programs that know nothing of flock honour it, and so do we.
#pragma once

#include <string>

namespace zx840 {

// The lock folder: $ZX840_LOCK_DIR when it is set and not empty, else
// /var/lock.
std::string UucpLockFolder();

// "LCK.." followed by the last component of `canonicalDevice`.
std::string UucpLockFileName(const std::string& canonicalDevice);

enum class UucpLockResult {
    Taken,    // the lock file is ours now
    Skipped,  // no lock file could be kept there (no such folder, not writable)
    Busy,     // a live process holds the device
};

class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;
    UucpLock(UucpLock&& other) noexcept;
    UucpLock& operator=(UucpLock&& other) noexcept;

    // Takes the lock of `canonicalDevice` in `folder`. A lock file whose
    // process is gone is removed and taken over; one of a live process (this
    // one included) leaves the device to it. Where no lock file can be made,
    // nothing is refused for that: flock on the device still keeps programs
    // of ours apart.
    UucpLockResult Take(const std::string& folder, const std::string& canonicalDevice);

    // Removes the lock file, if it still names this process.
    void Release();

    bool Held() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;  // the lock file we made, empty when none
};

}  // namespace zx840
