// The floor of press → command under Wine: floor_reader.exe, which does no more
// per press than any reader must, on the same virtual phone, timed by the same
// clock as the agent's presses (scenario_player --floor).
#pragma once

#include <string>

#include "control_channel.h"
#include "press_timings.h"

namespace scenario_player {

// Plugs the phone in, starts `reader`, and times `calls` lifts and replaces and
// `calls` presses of Button 7 (released again, untimed). False, with `error`
// set, when the reader never took the phone.
bool RunFloor(vphone::ControlChannel control, const std::wstring& phoneInf,
              const std::wstring& reader, int calls, PressTimings& timings, std::string& error);

}  // namespace scenario_player
