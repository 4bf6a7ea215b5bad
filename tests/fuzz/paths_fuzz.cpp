// Fuzz target "paths": MatchTargetPath on any UTF-16 text, against a reference
// written here from the path rules alone.
//
// Input: UTF-16 code units, little endian, up to the first 0 unit (an odd last
// byte is dropped). The path sits in a heap block of exactly its length plus the
// terminator, so reading past the terminator is an AddressSanitizer report.
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "hid/hot_plug.h"

namespace {

using Text = std::u16string_view;

bool HasAny(Text text, std::initializer_list<Text> needles) {
    for (Text needle : needles) {
        if (text.find(needle) != Text::npos)
            return true;
    }
    return false;
}

Text LastFour(Text field) {
    return field.size() <= 4 ? field : field.substr(field.size() - 4);
}

// The rules, case-sensitive throughout: the path names "HID"; the vendor is read
// from the text before the first '&' and the product from the field after it;
// both must be the phone's; the path names collection 2 and holds "0001".
bool ReferenceMatch(Text path) {
    if (!HasAny(path, {u"HID", u"Hid", u"hid"}))
        return false;

    Text head;
    Text rest;
    const std::size_t split = path.find(u'&');
    if (split != Text::npos) {
        head = path.substr(0, split);
        rest = path.substr(split + 1);
    } else if (!path.empty()) {
        rest = path.substr(1);
    }

    const Text vendor = HasAny(head, {u"VID_", u"Vid_", u"vid_"}) ? LastFour(head) : head;

    const std::size_t fieldEnd = rest.find(u'&');
    const Text productField = fieldEnd == Text::npos ? Text{} : rest.substr(0, fieldEnd);
    const Text product =
        HasAny(productField, {u"PID_", u"Pid_", u"pid_"}) ? LastFour(productField) : rest;

    const bool vendorMatches = vendor == u"F1CE" || vendor == u"f1ce";
    return vendorMatches && product == u"0B5D" && HasAny(path, {u"Col02", u"COL02", u"col02"}) &&
           path.find(u"0001") != Text::npos;
}

void PrintPath(Text path) {
    std::fprintf(stderr, "path (UTF-16 units):");
    for (char16_t unit : path)
        std::fprintf(stderr, " %04X", static_cast<unsigned>(unit));
    std::fprintf(stderr, "\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == u'\0')
            break;
        units.push_back(unit);
    }
    const std::unique_ptr<WCHAR[]> path(new WCHAR[units.size() + 1]);
    for (std::size_t i = 0; i < units.size(); ++i)
        path[i] = static_cast<WCHAR>(units[i]);
    path[units.size()] = L'\0';

    const bool expected = ReferenceMatch(units);
    const bool matched = MatchTargetPath(path.get());
    if (matched != expected)
        PrintPath(units);
    FUZZ_REQUIRE(matched == expected, "MatchTargetPath follows the path rules");
    return 0;
}
