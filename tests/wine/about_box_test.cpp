// The About box of the hidden main window: Wine's USER32 runs the modal dialog
// from the executable's own template.
#include "agent_fixture.h"

namespace wine_tests {
namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kAboutCaption[] = L"About QuillonSkypePlugIn";
constexpr WPARAM kAboutCommand = 104;
// WM_SYSCHAR's lParam: repeat count 1, context code (Alt held down).
constexpr LPARAM kAltCharacter = 1 | (LPARAM{1} << 29);

// Polls for a window that shows up asynchronously in another process.
HWND WaitForAboutBox(Millis timeout) {
    const auto deadline = standin::Clock::now() + timeout;
    for (;;) {
        if (HWND dialog = FindWindowW(kDialogClass, kAboutCaption)) {
            return dialog;
        }
        if (standin::Clock::now() >= deadline) {
            return nullptr;
        }
        Sleep(/*dwMilliseconds=*/10);
    }
}

bool WaitUntilGone(HWND window, Millis timeout) {
    const auto deadline = standin::Clock::now() + timeout;
    while (IsWindow(window)) {
        if (standin::Clock::now() >= deadline) {
            return false;
        }
        Sleep(/*dwMilliseconds=*/10);
    }
    return true;
}

class AboutBox : public AgentTest {};

TEST_F(AboutBox, HelpAboutOpensItAndCallsGoOnWhileItIsOpen) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    const struct {
        const char* name;
        WPARAM closeWith;
    } rows[] = {{"closed with OK", IDOK}, {"closed with Cancel", IDCANCEL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(PostMessageW(agent, WM_COMMAND, kAboutCommand, 0));
        HWND dialog = WaitForAboutBox(kEventTimeout);
        ASSERT_NE(dialog, nullptr) << "no About box";
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), agent);
        EXPECT_EQ(standin::WindowProcessId(dialog), standin::WindowProcessId(agent));

        // The modal loop still dispatches the main window's messages.
        EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"),
                  std::vector<std::string>{"GET CALL 1234 TYPE"});

        ASSERT_TRUE(PostMessageW(dialog, WM_COMMAND, row.closeWith, 0));
        EXPECT_TRUE(WaitUntilGone(dialog, kEventTimeout)) << "the button did not end the dialog";
    }
    EXPECT_EQ(FindWindowW(standin::kAgentWindowClass, nullptr), agent) << "the agent must go on";
}

// Wine takes the Alt of an accelerator from the thread's keyboard state, which
// a posted message does not change: characters posted to the hidden window
// open nothing, whatever their context bit says.
TEST_F(AboutBox, PostedCharactersOpenNothing) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    const struct {
        UINT message;
        LPARAM lParam;
    } posted[] = {{WM_CHAR, 1}, {WM_SYSCHAR, kAltCharacter}};
    for (const auto& each : posted) {
        ASSERT_TRUE(PostMessageW(agent, each.message, L'?', each.lParam));
        ASSERT_TRUE(PostMessageW(agent, each.message, L'/', each.lParam));
    }
    // Posted messages are handled in order: a posted About command shows that
    // the characters have been through the loop when its box appears.
    ASSERT_TRUE(PostMessageW(agent, WM_COMMAND, kAboutCommand, 0));
    HWND dialog = WaitForAboutBox(kEventTimeout);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PostMessageW(dialog, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(WaitUntilGone(dialog, kEventTimeout));
    EXPECT_EQ(FindWindowW(kDialogClass, kAboutCaption), nullptr)
        << "a posted character opened an About box too";
}

}  // namespace
}  // namespace wine_tests
