// Placeholder until the HID layer provides this surface.
#pragma once

#include "simdesk/win32_types.h"
