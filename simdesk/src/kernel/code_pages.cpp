// MultiByteToWideChar / WideCharToMultiByte for UTF-8 and the ANSI code page,
// which the simulated desktop fixes at Windows-1252. Wide text is UTF-16 code
// units held in WCHAR, so counts match Windows for text inside the BMP.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "kernel/kernel_objects.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr DWORD kAnsiFlagsAllowed = 0x0000000F;      // MB_PRECOMPOSED .. MB_ERR_INVALID_CHARS
constexpr DWORD kWideAnsiFlagsAllowed = 0x00000670;  // WC_DISCARDNS .. WC_NO_BEST_FIT_CHARS

// Windows-1252 0x80..0x9F; the five holes map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class Page { kAnsi, kUtf8, kUnsupported };

Page PageOf(UINT codePage) {
    switch (codePage) {
        case CP_ACP:
        case CP_OEMCP:
        case CP_THREAD_ACP:
        case 1252:
            return Page::kAnsi;
        case CP_UTF8:
            return Page::kUtf8;
        default:
            return Page::kUnsupported;
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

// Decodes one UTF-8 sequence at text[i]; invalid input yields kReplacement and
// consumes the longest valid prefix (at least one byte), as Windows does.
char32_t DecodeUtf8(const unsigned char* text, size_t size, size_t& i, bool& invalid) {
    unsigned char lead = text[i++];
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t c = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // no overlongs
        if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;  // nothing past U+10FFFF
    } else {
        invalid = true;
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= size || text[i] < low || text[i] > high) {
            invalid = true;
            return kReplacement;
        }
        c = (c << 6) | (text[i++] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return c;
}

bool EncodeAnsi(char32_t c, char& out) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out = static_cast<char>(c);
        return true;
    }
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
        if (kCp1252High[k] == c) {
            out = static_cast<char>(0x80 + k);
            return true;
        }
    }
    return false;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Copies a converted result out under Windows' buffer rules: a zero-sized
// output asks for the size; a short buffer fails with what fits written.
template <typename Unit, typename Out>
int Deliver(const std::basic_string<Unit>& result, Out* out, int capacity) {
    if (capacity == 0)
        return static_cast<int>(result.size());
    size_t fits = std::min(result.size(), static_cast<size_t>(capacity));
    for (size_t k = 0; k < fits; ++k)
        out[k] = static_cast<Out>(result[k]);
    if (fits < result.size()) {
        SetLastErrorValue(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(result.size());
}

int Fail(DWORD error) {
    SetLastErrorValue(error);
    return 0;
}

}  // namespace
}  // namespace simdesk

using namespace simdesk;

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Page page = PageOf(CodePage);
    if (page == Page::kUnsupported)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = page == Page::kUtf8 ? MB_ERR_INVALID_CHARS : kAnsiFlagsAllowed;
    if ((dwFlags & ~allowed) != 0)
        return Fail(ERROR_INVALID_FLAGS);

    size_t size =
        cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string result;
    for (size_t i = 0; i < size;) {
        if (page == Page::kAnsi) {
            unsigned char b = bytes[i++];
            result.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t{b});
            continue;
        }
        bool invalid = false;
        char32_t c = DecodeUtf8(bytes, size, i, invalid);
        if (invalid && (dwFlags & MB_ERR_INVALID_CHARS) != 0) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        AppendUtf16(result, c);
    }
    return Deliver(result, lpWideCharStr, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Page page = PageOf(CodePage);
    if (page == Page::kUnsupported)
        return Fail(ERROR_INVALID_PARAMETER);
    if (page == Page::kUtf8) {
        if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            return Fail(ERROR_INVALID_FLAGS);
        }
        if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
    } else if ((dwFlags & ~kWideAnsiFlagsAllowed) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }

    size_t size = cchWideChar == -1 ? static_cast<size_t>(lstrlenW(lpWideCharStr)) + 1
                                    : static_cast<size_t>(cchWideChar);
    char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
    bool usedDefault = false;
    std::string result;
    for (size_t i = 0; i < size; ++i) {
        auto c = static_cast<char32_t>(lpWideCharStr[i]);
        bool invalid = false;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size &&
            static_cast<char32_t>(lpWideCharStr[i + 1]) >= 0xDC00 &&
            static_cast<char32_t>(lpWideCharStr[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) +
                (static_cast<char32_t>(lpWideCharStr[++i]) - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            invalid = true;
        }
        if (page == Page::kUtf8) {
            if (invalid && (dwFlags & WC_ERR_INVALID_CHARS) != 0) {
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            AppendUtf8(result, invalid ? kReplacement : c);
            continue;
        }
        char out = 0;
        if (invalid || !EncodeAnsi(c, out)) {
            out = defaultChar;
            usedDefault = true;
        }
        result.push_back(out);
    }
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return Deliver(result, lpMultiByteStr, cbMultiByte);
}

int WINAPI lstrlenW(LPCWSTR lpString) {
    if (lpString == nullptr)
        return 0;
    int length = 0;
    while (lpString[length] != L'\0')
        ++length;
    return length;
}
