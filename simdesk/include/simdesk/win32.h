// The simulated desktop's Win32 surface: what the agent includes instead of
// the Windows SDK headers on non-Windows builds.
#pragma once

#include "simdesk/win32_types.h"
#include "simdesk/win32_kernel.h"
#include "simdesk/win32_user.h"
#include "simdesk/win32_wts.h"
#include "simdesk/win32_dbt.h"
#include "simdesk/win32_setupapi.h"
#include "simdesk/win32_hid.h"
