#pragma once

namespace vistamaze {

// On/off choices the program keeps from one run to the next, in the user's settings (QSettings
// under the application's organisation and name, set by VistamazeApplication). Tests and tools
// point QSettings at a folder of their own, so they never read or change the user's.
namespace choice {
// The 3D tab's right-hand view shows the stereogram instead of the depth map.
inline constexpr const char* kStereogramView = "modelTab/stereogramView";
// The "Guide dots" check box of the "Stereogram" tab.
inline constexpr const char* kGuideDots = "stereogram/guideDots";
}  // namespace choice

// The choice stored under `key`, or `fallback` when none is.
[[nodiscard]] bool RememberedChoice(const char* key, bool fallback);
void RememberChoice(const char* key, bool value);

}  // namespace vistamaze
