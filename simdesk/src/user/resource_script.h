// The agent's resources, read from its own resource script (resources/agent.rc
// and resources/resource.h, embedded at build time): one source of truth for
// the Windows build and the simulated desktop.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "simdesk/desktop.h"
#include "simdesk/win32_user.h"

namespace simdesk {

struct DialogTemplate {
    std::wstring caption;
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    int fontSize = 0;
    std::wstring fontFace;
    std::vector<DialogControl> controls;
};

// Resources keyed by ResourceKey: "#<n>" for numeric ids, upper case for names.
struct ResourceScript {
    std::map<UINT, std::wstring> strings;
    std::map<std::wstring, std::vector<MenuEntry>> menus;
    std::map<std::wstring, std::vector<ACCEL>> accelerators;
    std::map<std::wstring, DialogTemplate> dialogs;
    std::set<std::wstring> icons;
    std::string error;  // empty when the script parsed completely
};

// Parses the subset of resource-script syntax the agent's script uses.
ResourceScript ParseResourceScript(std::string_view script, std::string_view header);

// The agent's parsed resources (parsed once).
const ResourceScript& AgentResources();

std::wstring ResourceKey(LPCWSTR name);
std::wstring ResourceKey(UINT id);

// The embedded texts (generated at build time).
std::string_view AgentResourceScriptText();
std::string_view AgentResourceHeaderText();

}  // namespace simdesk
