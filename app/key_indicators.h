// The keyboard's lock indicators, where the platform can tell them.
#pragma once

#include <optional>

namespace zx840 {

struct LockKeys {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// The lit indicators of the keyboard on X11; nothing on platforms that do
// not tell (offscreen, Wayland).
std::optional<LockKeys> QueryLockKeys();

}  // namespace zx840
