// Who this program is: the title every window and message box shows, and the
// names under which the desktop keeps its per-user settings. Every place that
// needs them takes them from here, so the settings written and the settings
// removed by unregistering are always the same ones.
#pragma once

namespace zx840 {

inline constexpr char kAppTitle[] = "ZX840 DIGITAL POWER METER";
inline constexpr char kVersionText[] = "1.05";
// The per-user settings area: organisation, then the application title.
inline constexpr char kSettingsOrganization[] = "Orvalisto";
inline constexpr const char* kSettingsApplication = kAppTitle;

}  // namespace zx840
