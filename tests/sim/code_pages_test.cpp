// Code-page conversion: Windows' counting and buffer rules, UTF-8 and Windows-1252.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simdesk/win32.h"

namespace {

struct ToWideCase {
    const char* name;
    UINT codePage;
    std::string input;
    int inputCount;                  // -1: NUL-terminated
    std::vector<unsigned> expected;  // UTF-16 code units, terminator included when counted
};

TEST(CodePages, MultiByteToWideCharConvertsAndCounts) {
    const std::vector<ToWideCase> cases = {
        {"ascii with terminator",
         CP_THREAD_ACP,
         "CALL 12",
         -1,
         {'C', 'A', 'L', 'L', ' ', '1', '2', 0}},
        {"explicit length excludes terminator", CP_ACP, "ab", 2, {'a', 'b'}},
        {"1252 euro and quotes", CP_ACP, "\x80\x93\xE9", 3, {0x20AC, 0x201C, 0xE9}},
        {"1252 hole maps to C1", CP_ACP, "\x81", 1, {0x81}},
        {"utf8 two and three bytes", CP_UTF8, "\xC3\xA9\xE2\x82\xAC", 5, {0xE9, 0x20AC}},
        {"utf8 beyond BMP gives a surrogate pair",
         CP_UTF8,
         "\xF0\x9F\x98\x80",
         4,
         {0xD83D, 0xDE00}},
        {"utf8 invalid byte replaced",
         CP_UTF8,
         "a\xFF"
         "b",
         3,
         {'a', 0xFFFD, 'b'}},
        {"utf8 truncated sequence is one maximal subpart", CP_UTF8, "\xE2\x82", 2, {0xFFFD}},
        {"utf8 overlong replaced", CP_UTF8, "\xC0\xAF", 2, {0xFFFD, 0xFFFD}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int needed = MultiByteToWideChar(c.codePage, 0, c.input.c_str(), c.inputCount, nullptr, 0);
        ASSERT_EQ(needed, static_cast<int>(c.expected.size()));
        std::vector<WCHAR> out(c.expected.size() + 4, L'#');
        int written = MultiByteToWideChar(c.codePage, 0, c.input.c_str(), c.inputCount, out.data(),
                                          static_cast<int>(out.size()));
        ASSERT_EQ(written, needed);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(static_cast<unsigned>(out[i]), c.expected[i]) << "unit " << i;
        }
        EXPECT_EQ(out[c.expected.size()], L'#') << "wrote past the converted text";
    }
}

TEST(CodePages, MultiByteToWideCharFailures) {
    WCHAR small[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(/*CodePage=*/42, 0, "a", 1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, WideCharToMultiByteConvertsAndReportsDefaultChar) {
    char out[16] = {};
    BOOL usedDefault = TRUE;
    const WCHAR text[] = {L'A', 0x20AC, 0x4E2D, 0};
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, &usedDefault);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(std::string(out), "A\x80?");
    EXPECT_TRUE(usedDefault);

    n = WideCharToMultiByte(CP_UTF8, 0, text, 3, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(n, 1 + 3 + 3);
    n = WideCharToMultiByte(CP_UTF8, 0, text, 3, out, sizeof out, nullptr, nullptr);
    ASSERT_EQ(n, 7);
    EXPECT_EQ(std::string(out, 7), "A\xE2\x82\xAC\xE4\xB8\xAD");

    const WCHAR lone[] = {0xD800, L'x', 0};
    n = WideCharToMultiByte(CP_UTF8, 0, lone, -1, out, sizeof out, nullptr, nullptr);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(out), "\xEF\xBF\xBDx");

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, /*cbMultiByte=*/3, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePages, RoundTripOfEvery1252Byte) {
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        const char in[2] = {static_cast<char>(b), 0};
        WCHAR wide[2] = {};
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, in, 1, wide, 2), 1);
        char back[2] = {};
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 1, back, 2, nullptr, &usedDefault), 1);
        EXPECT_EQ(back[0], in[0]);
        EXPECT_FALSE(usedDefault);
    }
}

}  // namespace
