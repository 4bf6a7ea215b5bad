// The agent's resources as USER32 loads them, checked against resources/agent.rc.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "simdesk/desktop.h"
#include "simdesk/win32.h"
#include "user/resource_script.h"

#include "resources/resource.h"

namespace {

std::string ScriptText() {
    std::ifstream file(AGENT_RC_PATH);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());
}

TEST(Resources, StringsLoadAsTheScriptDefinesThem) {
    const std::string script = ScriptText();
    ASSERT_FALSE(script.empty()) << AGENT_RC_PATH;
    struct StringCase {
        const char* symbol;
        UINT id;
        const wchar_t* expected;
    };
    const StringCase cases[] = {
        {"IDS_APP_TITLE", IDS_APP_TITLE, L"TervoSkypePlugIn"},
        {"IDC_AGENT", IDC_AGENT, L"QUILLONSKYPEPLUGIN"},
    };
    HINSTANCE instance = GetModuleHandleW(nullptr);
    EXPECT_EQ(instance, simdesk::AgentInstance());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.symbol);
        WCHAR buffer[100];
        int length = LoadStringW(instance, c.id, buffer, 100);
        EXPECT_EQ(std::wstring(buffer, static_cast<size_t>(length)), c.expected);
        const std::string line = std::string(c.symbol) + " \"" + Narrow(c.expected) + "\"";
        EXPECT_NE(script.find(line), std::string::npos) << "script has no line " << line;
    }
}

TEST(Resources, LoadStringWBufferRules) {
    HINSTANCE instance = simdesk::AgentInstance();
    WCHAR small[6] = {L'#', L'#', L'#', L'#', L'#', L'#'};
    EXPECT_EQ(LoadStringW(instance, IDS_APP_TITLE, small, 6), 5) << "truncated, terminated";
    EXPECT_EQ(std::wstring(small), L"Tervo");

    const WCHAR* direct = nullptr;
    int length = LoadStringW(instance, IDS_APP_TITLE, reinterpret_cast<LPWSTR>(&direct), 0);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(std::wstring(direct, static_cast<size_t>(length)), L"TervoSkypePlugIn");

    WCHAR buffer[10];
    SetLastError(0);
    EXPECT_EQ(LoadStringW(instance, /*uID=*/4242, buffer, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Resources, IconsCursorAndMissingIds) {
    HINSTANCE instance = simdesk::AgentInstance();
    HICON large = LoadIconW(instance, MAKEINTRESOURCEW(IDI_AGENT));
    HICON small = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    EXPECT_NE(large, nullptr);
    EXPECT_NE(small, nullptr);
    EXPECT_NE(large, small);
    SetLastError(0);
    EXPECT_EQ(LoadIconW(instance, MAKEINTRESOURCEW(IDI_ABOUT_ICON)), nullptr)
        << "the About box's icon id has no icon resource";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(instance, IDC_ARROW), nullptr) << "the agent holds no cursors";
}

TEST(Resources, MenuMatchesTheScript) {
    auto menu = simdesk::AgentMenu(IDC_AGENT);
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].text, L"&File");
    ASSERT_EQ(menu[0].items.size(), 1u);
    EXPECT_EQ(menu[0].items[0].text, L"E&xit");
    EXPECT_EQ(menu[0].items[0].id, IDM_EXIT);
    EXPECT_EQ(menu[1].text, L"&Help");
    ASSERT_EQ(menu[1].items.size(), 1u);
    EXPECT_EQ(menu[1].items[0].text, L"&About ...");
    EXPECT_EQ(menu[1].items[0].id, IDM_ABOUT);
    EXPECT_TRUE(simdesk::AgentMenu(/*menuId=*/1).empty());
}

TEST(Resources, AcceleratorsAreAltCharacterKeys) {
    HACCEL table = LoadAcceleratorsW(simdesk::AgentInstance(), MAKEINTRESOURCEW(IDC_AGENT));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(CopyAcceleratorTableW(table, nullptr, 0), 2);
    ACCEL entries[2] = {};
    ASSERT_EQ(CopyAcceleratorTableW(table, entries, 2), 2);
    const WORD keys[] = {'?', '/'};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].key, keys[i]);
        EXPECT_EQ(entries[i].fVirt, FALT) << "ASCII keys with ALT only, as windres stores them";
        EXPECT_EQ(entries[i].cmd, IDM_ABOUT);
    }
    EXPECT_EQ(LoadAcceleratorsW(simdesk::AgentInstance(), MAKEINTRESOURCEW(4242)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Accelerators, AltCharacterSendsTheCommandToTheGivenWindow) {
    static std::vector<WPARAM> commands;
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_COMMAND)
            commands.push_back(wParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    };
    info.lpszClassName = L"AccelTarget";
    RegisterClassExW(&info);
    HWND window =
        CreateWindowExW(0, L"AccelTarget", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HACCEL table = LoadAcceleratorsW(simdesk::AgentInstance(), MAKEINTRESOURCEW(IDC_AGENT));
    constexpr LPARAM kAltDown = 1 << 29;
    struct KeyCase {
        const char* name;
        UINT message;
        WPARAM key;
        LPARAM lParam;
        bool translated;
    };
    const KeyCase cases[] = {
        {"Alt+? as WM_SYSCHAR", WM_SYSCHAR, '?', kAltDown, true},
        {"Alt+/ as WM_SYSCHAR", WM_SYSCHAR, '/', kAltDown, true},
        {"? without Alt", WM_CHAR, '?', 0, false},
        {"Alt+x", WM_SYSCHAR, 'x', kAltDown, false},
        {"key-down of the same code is no character", WM_SYSKEYDOWN, '?', kAltDown, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commands.clear();
        MSG msg{window, c.message, c.key, c.lParam, 0, {}};
        EXPECT_EQ(TranslateAcceleratorW(window, table, &msg) != 0, c.translated);
        if (c.translated) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(LOWORD(commands[0]), IDM_ABOUT);
            EXPECT_EQ(HIWORD(commands[0]), 1) << "1 marks a command from an accelerator";
        } else {
            EXPECT_TRUE(commands.empty());
        }
    }
    MSG msg{nullptr, WM_SYSCHAR, '?', kAltDown, 0, {}};
    EXPECT_EQ(TranslateAcceleratorW(nullptr, table, &msg), 0) << "thread messages have no window";
    EXPECT_EQ(TranslateAcceleratorW(window, nullptr, &msg), 0) << "no table loaded";
    DestroyWindow(window);
}

TEST(ResourceScriptParser, ReportsWhatItCannotRead) {
    struct ParseCase {
        const char* name;
        const char* script;
        bool ok;
    };
    const ParseCase cases[] = {
        {"string table", "STRINGTABLE\nBEGIN\n  5, \"five\"\nEND\n", true},
        {"unknown resource type", "5 BITMAP \"x.bmp\"\n", false},
        {"unknown name in a value", "STRINGTABLE\nBEGIN\n NOT_DEFINED \"x\"\nEND\n", false},
        {"unterminated string", "STRINGTABLE\nBEGIN\n 5 \"x\nEND\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto parsed = simdesk::ParseResourceScript(c.script, "");
        EXPECT_EQ(parsed.error.empty(), c.ok) << parsed.error;
    }
    EXPECT_TRUE(simdesk::AgentResources().error.empty()) << simdesk::AgentResources().error;
}

// The About box as the agent opens it, on a thread of its own while the test
// plays the user.
INT_PTR CALLBACK AboutLikeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

struct DialogRun {
    HWND owner = nullptr;
    HANDLE ownerReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    INT_PTR result = 0;
    int ownerMessages = 0;
};

DWORD WINAPI OpenAbout(LPVOID parameter) {
    auto* run = static_cast<DialogRun*>(parameter);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    };
    info.lpszClassName = L"AboutOwner";
    RegisterClassExW(&info);
    run->owner = CreateWindowExW(0, L"AboutOwner", L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
    SetEvent(run->ownerReady);
    run->result = DialogBoxParamW(simdesk::AgentInstance(), MAKEINTRESOURCEW(IDD_ABOUTBOX),
                                  run->owner, AboutLikeProc, 0);
    return 0;
}

TEST(Dialogs, AboutBoxFromTheTemplateEndsWithTheButtonPressed) {
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        simdesk::DesktopThread self;
        DialogRun run;
        HANDLE thread = CreateThread(nullptr, 0, OpenAbout, &run, 0, nullptr);
        simdesk::WaitUntilIdle();
        HWND dialog = simdesk::FindOpenDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(simdesk::WindowCaption(dialog), L"About QuillonSkypePlugIn");
        auto controls = simdesk::DialogControls(dialog);
        ASSERT_EQ(controls.size(), 4u);
        EXPECT_EQ(controls[0].text, L"#128");
        EXPECT_EQ(controls[1].text, L"QuillonSkypePlugIn, Version 1.0");
        EXPECT_EQ(controls[1].style & SS_NOPREFIX, static_cast<DWORD>(SS_NOPREFIX));
        EXPECT_EQ(controls[3].className, L"BUTTON");
        EXPECT_EQ(controls[3].id, IDOK);
        EXPECT_EQ((controls[3].x), 113);
        EXPECT_EQ(controls[3].style & BS_DEFPUSHBUTTON, static_cast<DWORD>(BS_DEFPUSHBUTTON));

        // Other windows of the thread keep getting their messages meanwhile.
        EXPECT_EQ(SendMessageW(run.owner, WM_USER, 0, 0), 0);
        EXPECT_EQ(simdesk::ClickDialogButton(dialog, /*controlId=*/99), false);
        if (button == IDOK) {
            EXPECT_TRUE(simdesk::ClickDialogButton(dialog, IDOK));
        } else {
            PostMessageW(dialog, WM_CLOSE, 0, 0);  // the close box means Cancel
        }
        ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(run.result, button);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(simdesk::FindOpenDialog(), nullptr);
        CloseHandle(thread);
        CloseHandle(run.ownerReady);
    }
}

TEST(Dialogs, UnknownTemplateFails) {
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamW(simdesk::AgentInstance(), MAKEINTRESOURCEW(4242), nullptr,
                              AboutLikeProc, 0),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

}  // namespace
