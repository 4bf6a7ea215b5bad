// Resource loading from the agent's module, system icons and cursors, and
// accelerator translation.
#include <algorithm>

#include "user/resource_script.h"
#include "user/user_state.h"

namespace simdesk {
namespace {

constexpr std::uintptr_t kAgentModule = 0x00400000;  // Windows' usual image base
constexpr std::uintptr_t kAgentIconBase = 0x00110000;
constexpr std::uintptr_t kSystemIconBase = 0x00120000;
constexpr std::uintptr_t kSystemCursorBase = 0x00130000;
// Standard icons IDI_APPLICATION..IDI_SHIELD and cursors IDC_ARROW..IDC_PIN.
constexpr UINT kFirstSystemId = 32512;
constexpr UINT kLastSystemIcon = 32518;
constexpr UINT kLastSystemCursor = 32672;
constexpr LPARAM kAltDownBit = 1 << 29;  // context code of key messages
constexpr WORD kFromAccelerator = 1;     // HIWORD of WM_COMMAND's wParam

// Null stands for the executable's own module, which here is the agent.
bool IsAgentModule(HINSTANCE instance) {
    return instance == nullptr || instance == AgentInstance();
}

template <typename T>
T* FailWith(DWORD error) {
    SetLastErrorValue(error);
    return nullptr;
}

const std::vector<ACCEL>* AcceleratorTable(HACCEL handle) {
    for (const auto& [key, table] : AgentResources().accelerators) {
        if (reinterpret_cast<const void*>(&table) == reinterpret_cast<const void*>(handle)) {
            return &table;
        }
    }
    return nullptr;
}

bool Matches(const ACCEL& accel, const MSG& msg) {
    bool charMessage = msg.message == WM_CHAR || msg.message == WM_SYSCHAR;
    bool keyMessage = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    bool virtKey = (accel.fVirt & FVIRTKEY) != 0;
    if (virtKey ? !keyMessage : !charMessage)
        return false;
    if (msg.wParam != accel.key)
        return false;
    // Shift and Control states are not simulated: such entries never match.
    if ((accel.fVirt & (FSHIFT | FCONTROL)) != 0)
        return false;
    bool altDown = msg.message == WM_SYSCHAR || msg.message == WM_SYSKEYDOWN ||
                   (msg.lParam & kAltDownBit) != 0;
    return altDown == ((accel.fVirt & FALT) != 0);
}

}  // namespace

HINSTANCE AgentInstance() {
    return reinterpret_cast<HINSTANCE>(kAgentModule);
}

std::vector<MenuEntry> AgentMenu(int menuId) {
    const auto& menus = AgentResources().menus;
    auto found = menus.find(ResourceKey(static_cast<UINT>(menuId)));
    return found == menus.end() ? std::vector<MenuEntry>{} : found->second;
}

}  // namespace simdesk

using namespace simdesk;

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    if (lpModuleName == nullptr)
        return AgentInstance();
    SetLastErrorValue(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (!IsAgentModule(hInstance)) {
        SetLastErrorValue(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto& strings = AgentResources().strings;
    auto found = strings.find(uID);
    if (found == strings.end()) {
        SetLastErrorValue(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (cchBufferMax > 0)
            lpBuffer[0] = L'\0';
        return 0;
    }
    const std::wstring& text = found->second;
    if (cchBufferMax == 0) {
        // The read-only pointer form: the buffer receives a pointer to the resource.
        *reinterpret_cast<LPCWSTR*>(lpBuffer) = text.c_str();
        return static_cast<int>(text.size());
    }
    size_t copied = std::min(text.size(), static_cast<size_t>(cchBufferMax - 1));
    std::copy_n(text.data(), copied, lpBuffer);
    lpBuffer[copied] = L'\0';
    return static_cast<int>(copied);
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    if (lpIconName == nullptr)
        return FailWith<HICON__>(ERROR_INVALID_PARAMETER);
    if (hInstance == nullptr) {
        auto id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpIconName));
        if (!IS_INTRESOURCE(lpIconName) || id < kFirstSystemId || id > kLastSystemIcon) {
            return FailWith<HICON__>(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
        return reinterpret_cast<HICON>(kSystemIconBase + id);
    }
    if (!IsAgentModule(hInstance))
        return FailWith<HICON__>(ERROR_RESOURCE_DATA_NOT_FOUND);
    const auto& icons = AgentResources().icons;
    auto found = icons.find(ResourceKey(lpIconName));
    if (found == icons.end())
        return FailWith<HICON__>(ERROR_RESOURCE_NAME_NOT_FOUND);
    auto index = static_cast<std::uintptr_t>(std::distance(icons.begin(), found));
    return reinterpret_cast<HICON>(kAgentIconBase + 4 * index);
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    auto id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpCursorName));
    if (hInstance != nullptr || !IS_INTRESOURCE(lpCursorName) || id < kFirstSystemId ||
        id > kLastSystemCursor) {
        // The agent's script holds no cursors.
        return FailWith<HICON__>(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    return reinterpret_cast<HCURSOR>(kSystemCursorBase + id);
}

HACCEL WINAPI LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName) {
    if (!IsAgentModule(hInstance))
        return FailWith<HACCEL__>(ERROR_RESOURCE_DATA_NOT_FOUND);
    if (lpTableName == nullptr)
        return FailWith<HACCEL__>(ERROR_INVALID_PARAMETER);
    const auto& tables = AgentResources().accelerators;
    auto found = tables.find(ResourceKey(lpTableName));
    if (found == tables.end())
        return FailWith<HACCEL__>(ERROR_RESOURCE_NAME_NOT_FOUND);
    // The table's address is its handle; tables live as long as the process.
    return reinterpret_cast<HACCEL>(const_cast<std::vector<ACCEL>*>(&found->second));
}

int WINAPI CopyAcceleratorTableW(HACCEL hAccelSrc, LPACCEL lpAccelDst, int cAccelEntries) {
    const std::vector<ACCEL>* table = AcceleratorTable(hAccelSrc);
    if (table == nullptr) {
        SetLastErrorValue(ERROR_INVALID_ACCEL_HANDLE);
        return 0;
    }
    if (lpAccelDst == nullptr)
        return static_cast<int>(table->size());
    size_t copied = std::min(table->size(), static_cast<size_t>(std::max(cAccelEntries, 0)));
    std::copy_n(table->begin(), copied, lpAccelDst);
    return static_cast<int>(copied);
}

int WINAPI TranslateAcceleratorW(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg) {
    if (lpMsg == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::vector<ACCEL>* table = AcceleratorTable(hAccTable);
    if (table == nullptr) {
        SetLastErrorValue(ERROR_INVALID_ACCEL_HANDLE);
        return 0;
    }
    if (!IsWindow(hWnd)) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    for (const ACCEL& accel : *table) {
        if (!Matches(accel, *lpMsg))
            continue;
        SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(accel.cmd, kFromAccelerator), 0);
        return 1;
    }
    return 0;
}
