// The player's window that floor_reader.exe sends its commands to.
#pragma once

namespace scenario_player {

inline constexpr wchar_t kFloorWindowClass[] = L"ScenarioPlayerFloor";

}  // namespace scenario_player
