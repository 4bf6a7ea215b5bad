// Code-page conversions: the call application's UTF-8 and ANSI text.
#include <cstring>

#include "probe.h"

namespace probe {
namespace {

constexpr int kRoom = 64;

// Result, last error on failure, and the converted units as hex.
std::string ToWide(UINT codePage, DWORD flags, const char* bytes, int length, int room = kRoom) {
    WCHAR out[kRoom] = {};
    SetLastError(kPlantedError);
    const int count =
        MultiByteToWideChar(codePage, flags, bytes, length, room == 0 ? nullptr : out, room);
    if (count == 0)
        return "0 " + Err();
    std::string text = Num(count);
    if (room != 0) {
        text += " (";
        for (int i = 0; i < count; ++i) {
            text += i == 0 ? "" : " ";
            text += Hex(static_cast<unsigned>(out[i]));
        }
        text += ")";
    }
    return text;
}

std::string ToBytes(UINT codePage, DWORD flags, const WCHAR* text, int length,
                    const char* defaultChar = nullptr, bool askUsedDefault = false) {
    char out[kRoom] = {};
    BOOL usedDefault = FALSE;
    SetLastError(kPlantedError);
    const int count = WideCharToMultiByte(codePage, flags, text, length, out, kRoom, defaultChar,
                                          askUsedDefault ? &usedDefault : nullptr);
    if (count == 0)
        return "0 " + Err();
    std::string result = Num(count) + " (";
    for (int i = 0; i < count; ++i) {
        result += i == 0 ? "" : " ";
        result += Hex(static_cast<unsigned char>(out[i]));
    }
    result += ")";
    if (askUsedDefault)
        result += usedDefault ? " used default" : " no default";
    return result;
}

}  // namespace

void ProbeText() {
    const char utf8[] = "h\xC3\xA9\xE2\x82\xAC";  // h, e acute, euro sign
    const char broken[] = "a\xC3(b";
    const char ansi[] = "\x80\xE9\x81";  // euro, e acute, a hole of Windows-1252
    const auto length = [](const char* s) { return static_cast<int>(std::strlen(s)); };

    Line("text.utf8", ToWide(CP_UTF8, 0, utf8, length(utf8)));
    Line("text.utf8.with-terminator", ToWide(CP_UTF8, 0, utf8, -1));
    Line("text.utf8.size-query", ToWide(CP_UTF8, 0, utf8, length(utf8), /*room=*/0));
    Line("text.utf8.short-buffer", ToWide(CP_UTF8, 0, utf8, length(utf8), /*room=*/2));
    Line("text.utf8.invalid", ToWide(CP_UTF8, 0, broken, length(broken)));
    Line("text.utf8.invalid.strict", ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, broken, length(broken)));
    Line("text.utf8.precomposed-flag", ToWide(CP_UTF8, MB_PRECOMPOSED, utf8, length(utf8)));
    Line("text.utf8.zero-length", ToWide(CP_UTF8, 0, utf8, 0));
    Line("text.thread-acp", ToWide(CP_THREAD_ACP, 0, ansi, length(ansi)));
    Line("text.acp", ToWide(CP_ACP, 0, ansi, length(ansi)));

    const WCHAR wide[] = {L'h', 0xE9, 0x20AC, 0};
    const WCHAR lone[] = {L'a', 0xD800, L'b', 0};
    Line("text.to-utf8", ToBytes(CP_UTF8, 0, wide, -1));
    Line("text.to-utf8.lone-surrogate", ToBytes(CP_UTF8, 0, lone, 3));
    Line("text.to-utf8.lone-surrogate.strict", ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3));
    Line("text.to-utf8.default-char", ToBytes(CP_UTF8, 0, wide, 3, "?"));
    Line("text.to-acp", ToBytes(CP_ACP, 0, wide, 3, nullptr, /*askUsedDefault=*/true));
    const WCHAR other[] = {L'x', 0x3042, 0};
    Line("text.to-acp.unmappable", ToBytes(CP_ACP, 0, other, 2, nullptr, /*askUsedDefault=*/true));
    Line("text.lstrlen", Num(lstrlenW(wide)));
}

}  // namespace probe
