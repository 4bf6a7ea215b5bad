// Resource ids of the agent's executable. Shared by the resource script and
// the code; the simulated desktop reads its resources from the same script.
#pragma once

#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDI_AGENT 107
#define IDI_SMALL 108
#define IDC_AGENT 109
#define IDI_ABOUT_ICON 128

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
