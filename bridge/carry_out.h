// A transition's decision carried out, with the call-state lock released.
#pragma once

#include "bridge/bridge_state.h"
#include "platform/platform.h"

// Makes the decided indicator writes, then sends the command from `sender`.
void CarryOut(const Decision& decision, HWND sender);
