// Test tool for the installer tests: reports, from inside the Wine prefix, what an installer
// run left behind that a shell script cannot see directly.
//
//   agent_probe count                       agent windows on this desktop
//   agent_probe wait-count <n> <ms>         waits up to <ms> for exactly <n> agents
//   agent_probe running                     "<pid> <file version> <image path>" of the one agent
//   agent_probe products <upgrade code>     "<product code> <version>" of each installed product
//   agent_probe wait-window <class> <ms>    waits up to <ms> for a top-level window of <class>
//   agent_probe version-info <exe>          the version resource's fields, one "name=value" a line
//   agent_probe close [<ms>]                closes every agent as the installer does, ending
//                                           those still running <ms> after WM_CLOSE
//
// Exit code 0 when the report was produced (and, for wait-count, the count was reached).
#include <windows.h>
#include <msi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>

#include "close_agent/close_agent.h"
#include "close_agent/unique_handle.h"

namespace {

constexpr wchar_t kAgentWindowClass[] = L"QUILLONSKYPEPLUGIN";
constexpr wchar_t kAgentWindowTitle[] = L"TervoSkypePlugIn";
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr DWORD kGuidTextLength = 38;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

struct AgentSearch {
    int count = 0;
    HWND first = nullptr;
};

BOOL CALLBACK CountAgent(HWND window, LPARAM context) {
    constexpr int kNameCapacity = 64;
    wchar_t class_name[kNameCapacity] = {};
    wchar_t title[kNameCapacity] = {};
    GetClassNameW(window, class_name, kNameCapacity);
    GetWindowTextW(window, title, kNameCapacity);
    if (std::wcscmp(class_name, kAgentWindowClass) == 0 &&
        std::wcscmp(title, kAgentWindowTitle) == 0) {
        auto* search = reinterpret_cast<AgentSearch*>(context);
        if (search->count++ == 0) {
            search->first = window;
        }
    }
    return TRUE;
}

AgentSearch FindAgents() {
    AgentSearch search;
    EnumWindows(CountAgent, reinterpret_cast<LPARAM>(&search));
    return search;
}

int WaitWindow(const wchar_t* window_class, DWORD timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (FindWindowW(window_class, nullptr) == nullptr) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::puts("no such window");
            return kExitFailed;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return kExitOk;
}

int WaitCount(int wanted, DWORD timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int count = FindAgents().count;
    while (count != wanted && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        count = FindAgents().count;
    }
    std::printf("%d\n", count);
    return count == wanted ? kExitOk : kExitFailed;
}

std::wstring ImagePath(DWORD process_id) {
    const UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, /*bInheritHandle=*/FALSE, process_id));
    if (!process.valid()) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), /*dwFlags=*/0, path, &size)) {
        return {};
    }
    return std::wstring(path, size);
}

std::string FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return "none";
    }
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &info_size) ||
        info_size < sizeof(VS_FIXEDFILEINFO)) {
        return "none";
    }
    char text[64] = {};
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{HIWORD(info->dwFileVersionMS)},
                  unsigned{LOWORD(info->dwFileVersionMS)}, unsigned{HIWORD(info->dwFileVersionLS)},
                  unsigned{LOWORD(info->dwFileVersionLS)});
    return text;
}

// The fixed file and product versions and the U.S. English strings of the version resource.
int ReportVersionInfo(const wchar_t* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
        std::puts("no version resource");
        return kExitFailed;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &info_size) &&
        info_size >= sizeof(VS_FIXEDFILEINFO)) {
        std::printf(
            "fixed file=%u.%u.%u.%u product=%u.%u.%u.%u\n", unsigned{HIWORD(info->dwFileVersionMS)},
            unsigned{LOWORD(info->dwFileVersionMS)}, unsigned{HIWORD(info->dwFileVersionLS)},
            unsigned{LOWORD(info->dwFileVersionLS)}, unsigned{HIWORD(info->dwProductVersionMS)},
            unsigned{LOWORD(info->dwProductVersionMS)}, unsigned{HIWORD(info->dwProductVersionLS)},
            unsigned{LOWORD(info->dwProductVersionLS)});
    }
    constexpr const wchar_t* kNames[] = {L"FileDescription", L"FileVersion", L"ProductName",
                                         L"ProductVersion"};
    for (const wchar_t* name : kNames) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t* value = nullptr;
        UINT length = 0;
        if (VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value != nullptr) {
            std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
        }
    }
    return kExitOk;
}

int ReportRunning() {
    const AgentSearch search = FindAgents();
    if (search.count != 1) {
        std::printf("%d agents\n", search.count);
        return kExitFailed;
    }
    DWORD process_id = 0;
    GetWindowThreadProcessId(search.first, &process_id);
    const std::wstring path = ImagePath(process_id);
    std::printf("%lu %s %s\n", static_cast<unsigned long>(process_id), FileVersion(path).c_str(),
                Utf8(path).c_str());
    return kExitOk;
}

int ReportProducts(const wchar_t* upgrade_code) {
    wchar_t product[kGuidTextLength + 1] = {};
    for (DWORD index = 0;
         MsiEnumRelatedProductsW(upgrade_code, /*dwReserved=*/0, index, product) == ERROR_SUCCESS;
         ++index) {
        wchar_t version[64] = {};
        DWORD size = 64;
        if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &size) !=
            ERROR_SUCCESS) {
            version[0] = L'\0';
        }
        std::printf("%s %s\n", Utf8(product).c_str(), Utf8(version).c_str());
    }
    return kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"count" && argc == 2) {
        std::printf("%d\n", FindAgents().count);
        return kExitOk;
    }
    if (command == L"wait-count" && argc == 4) {
        return WaitCount(std::wcstol(argv[2], nullptr, 10),
                         static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    }
    if (command == L"wait-window" && argc == 4) {
        return WaitWindow(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    }
    if (command == L"version-info" && argc == 3) {
        return ReportVersionInfo(argv[2]);
    }
    if (command == L"running" && argc == 2) {
        return ReportRunning();
    }
    if (command == L"products" && argc == 3) {
        return ReportProducts(argv[2]);
    }
    if (command == L"close" && (argc == 2 || argc == 3)) {
        const CloseResult result =
            argc == 3 ? CloseRunningAgents(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)))
                      : CloseRunningAgents();
        std::printf("closed %d terminated %d\n", result.closed, result.terminated);
        return result.allGone ? kExitOk : kExitFailed;
    }
    std::fputs(
        "usage: agent_probe count | wait-count <n> <ms> | running | products <code> | close "
        "[<ms>]\n"
        "       | wait-window <class> <ms>\n",
        stderr);
    return kExitUsage;
}
