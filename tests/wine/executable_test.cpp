// The shipped executable as Windows loads it: subsystem, linking, resources.
#include <array>
#include <cwctype>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "executable_image.h"

namespace wine_tests {
namespace {

constexpr int kTextCapacity = 256;
constexpr WORD kAboutCommand = 104;
constexpr WORD kExitCommand = 105;

std::string NarrowWindowsPath() {
    std::wstring wide = AgentPath();
    return std::string(wide.begin(), wide.end());  // the build path is ASCII
}

std::wstring Lower(std::string_view text) {
    std::wstring lower;
    for (char c : text) {
        lower.push_back(static_cast<wchar_t>(std::towlower(static_cast<unsigned char>(c))));
    }
    return lower;
}

TEST(Executable, IsAnX64ImageOfTheGuiSubsystem) {
    std::optional<ExecutableImage> image = ReadExecutableImage(NarrowWindowsPath());
    ASSERT_TRUE(image.has_value()) << "not a PE32+ image: " << AGENT_EXE_PATH;
    EXPECT_EQ(image->machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(image->subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI) << "a console window would appear";
}

TEST(Executable, ImportsOnlyModulesOfWindowsItself) {
    std::optional<ExecutableImage> image = ReadExecutableImage(NarrowWindowsPath());
    ASSERT_TRUE(image.has_value());
    ASSERT_FALSE(image->importedModules.empty());
    std::array<wchar_t, MAX_PATH> system{};
    ASSERT_NE(GetSystemDirectoryW(system.data(), static_cast<UINT>(system.size())), 0u);
    for (const std::string& module : image->importedModules) {
        SCOPED_TRACE(module);
        const std::wstring name = Lower(module);
        EXPECT_EQ(name.find(L"libstdc++"), std::wstring::npos);
        EXPECT_EQ(name.find(L"libgcc"), std::wstring::npos);
        EXPECT_EQ(name.find(L"libwinpthread"), std::wstring::npos);
        std::wstring path = std::wstring(system.data()) + L"\\" + name;
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES)
            << "not a module of the system directory: the .exe would need it beside it";
    }
}

class ExecutableResources : public testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryExW(AgentPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << AGENT_EXE_PATH << " for its resources";
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    std::string_view Resource(WORD id, LPCWSTR type) const {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        HGLOBAL loaded = found != nullptr ? LoadResource(module_, found) : nullptr;
        if (loaded == nullptr) {
            return {};
        }
        return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module_, found)};
    }
    HMODULE module_ = nullptr;
};

std::wstring MenuText(HMENU menu, UINT position) {
    std::array<wchar_t, kTextCapacity> text{};
    int length = GetMenuStringW(menu, position, text.data(), kTextCapacity, MF_BYPOSITION);
    return std::wstring(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::wstring WindowText(HWND window) {
    std::array<wchar_t, kTextCapacity> text{};
    int length = GetWindowTextW(window, text.data(), kTextCapacity);
    return std::wstring(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

TEST_F(ExecutableResources, TitleAndClassStrings) {
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {{103, L"TervoSkypePlugIn"}, {109, L"QUILLONSKYPEPLUGIN"}};
    for (const auto& expected : strings) {
        SCOPED_TRACE(expected.id);
        std::array<wchar_t, 100> text{};
        int length = LoadStringW(module_, expected.id, text.data(), static_cast<int>(text.size()));
        EXPECT_EQ(std::wstring(text.data(), static_cast<std::size_t>(std::max(length, 0))),
                  expected.text);
    }
}

TEST_F(ExecutableResources, IconsAndManifest) {
    EXPECT_FALSE(Resource(107, RT_GROUP_ICON).empty()) << "large class icon";
    EXPECT_FALSE(Resource(108, RT_GROUP_ICON).empty()) << "small class icon";
    EXPECT_TRUE(Resource(128, RT_GROUP_ICON).empty()) << "the About box's icon stays empty";
    std::string_view manifest = Resource(1, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty()) << "no manifest";
    const char* const entries[] = {
        "level=\"asInvoker\"",
        "uiAccess=\"false\"",
        // supportedOS: Windows 7, 8, 8.1, 10 and 11.
        "Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"",
        "Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"",
        "Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"",
        "Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "PerMonitorV2</dpiAwareness>",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
        "true/pm</dpiAware>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
    };
    for (const char* entry : entries) {
        EXPECT_NE(manifest.find(entry), std::string_view::npos) << entry << " not in\n" << manifest;
    }
}

TEST_F(ExecutableResources, MenuWithExitAndAbout) {
    HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(109));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    const struct {
        const wchar_t* popup;
        const wchar_t* item;
        UINT command;
    } expected[] = {{L"&File", L"E&xit", kExitCommand}, {L"&Help", L"&About ...", kAboutCommand}};
    for (UINT position = 0; position < 2; ++position) {
        SCOPED_TRACE(position);
        EXPECT_EQ(MenuText(menu, position), expected[position].popup);
        HMENU popup = GetSubMenu(menu, static_cast<int>(position));
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(GetMenuItemCount(popup), 1);
        EXPECT_EQ(GetMenuItemID(popup, 0), expected[position].command);
        EXPECT_EQ(MenuText(popup, 0), expected[position].item);
    }
    DestroyMenu(menu);
}

TEST_F(ExecutableResources, AcceleratorsAreAltWithCharacterKeys) {
    HACCEL table = LoadAcceleratorsW(module_, MAKEINTRESOURCEW(109));
    ASSERT_NE(table, nullptr);
    std::array<ACCEL, 8> entries{};
    int count = CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
    ASSERT_EQ(count, 2);
    const WORD keys[] = {'?', '/'};
    for (int index = 0; index < count; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(entries[index].key, keys[index]);
        EXPECT_EQ(entries[index].fVirt & ~FNOINVERT, FALT) << "ALT with a character, no VIRTKEY";
        EXPECT_EQ(entries[index].cmd, kAboutCommand);
    }
    DestroyAcceleratorTable(table);
}

INT_PTR CALLBACK IgnoreDialogMessages(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST_F(ExecutableResources, AboutDialogBuildsWithItsTexts) {
    std::string_view dialogTemplate = Resource(103, RT_DIALOG);
    ASSERT_FALSE(dialogTemplate.empty());
    // Built hidden from the template by Wine's own dialog manager.
    HWND dialog = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
        nullptr, &IgnoreDialogMessages, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(dialog), L"About QuillonSkypePlugIn");
    EXPECT_FALSE(IsWindowVisible(dialog));
    HWND ok = GetDlgItem(dialog, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(WindowText(ok), L"OK");
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    bool versionLine = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        versionLine = versionLine || WindowText(child) == L"QuillonSkypePlugIn, Version 1.0";
    }
    EXPECT_TRUE(versionLine) << "no static text \"QuillonSkypePlugIn, Version 1.0\"";
    DestroyWindow(dialog);
}

std::wstring VersionString(const std::vector<unsigned char>& block, const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &length) || length == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);  // length counts the NUL
}

TEST(Executable, VersionResourceNamesTheProductAndItsVersion) {
    const std::wstring path = AgentPath();
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    const std::string version = AGENT_VERSION;
    const std::wstring wideVersion(version.begin(), version.end());
    EXPECT_EQ(VersionString(block, L"ProductName"), L"QuillonSkypePlugIn");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"QuillonSkypePlugIn.exe");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), wideVersion);
    EXPECT_EQ(VersionString(block, L"FileVersion"), wideVersion);
}

}  // namespace
}  // namespace wine_tests
