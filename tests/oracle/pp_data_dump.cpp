#include "pp_data_dump.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace oracle {
namespace {

long long ParseNumber(const std::string& text) {
    return std::stoll(text, nullptr, text.rfind("0x", 0) == 0 ? 16 : 10);
}

}  // namespace

std::optional<PpDataDump> ReadPpDataDump(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    static const std::regex kCapLine(R"(^pp_data->cap\[(\d+)\]->(\S+)\s*=\s*(-?\w+))");
    static const std::regex kInfoLine(R"(^pp_data->caps_info\[(\d)\]->(\w+)\s*=\s*(-?\w+))");
    static const std::regex kHeaderLine(R"(^pp_data->(\w+)\s*=\s*(-?\w+))");
    PpDataDump dump;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, kCapLine)) {
            dump.caps[std::stol(m[1])][m[2]] = ParseNumber(m[3]);
        } else if (std::regex_search(line, m, kInfoLine)) {
            CapsInfo& info = dump.capsInfo.at(std::stoul(m[1]));
            const long value = static_cast<long>(ParseNumber(m[3]));
            if (m[2] == "FirstCap")
                info.firstCap = value;
            if (m[2] == "LastCap")
                info.lastCap = value;
            if (m[2] == "NumberOfCaps")
                info.numberOfCaps = value;
            if (m[2] == "ReportByteLength")
                info.reportByteLength = value;
        } else if (std::regex_search(line, m, kHeaderLine)) {
            dump.header[m[1]] = ParseNumber(m[2]);
        }
    }
    return dump;
}

std::optional<std::vector<std::uint8_t>> ReadDescriptorBytes(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    static const std::regex kByte(R"(0x([0-9A-Fa-f]{2})\b)");
    std::vector<std::uint8_t> bytes;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), kByte);
         it != std::sregex_iterator(); ++it)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul((*it)[1], nullptr, 16)));
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadListingBytes(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    static const std::regex kTrailingBytes(R"(((?:\s[0-9A-Fa-f]{2})+)\s*$)");
    std::vector<std::uint8_t> bytes;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (!std::regex_search(line, m, kTrailingBytes))
            continue;
        std::istringstream tokens(m[1]);
        std::string token;
        while (tokens >> token)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    }
    return bytes;
}

}  // namespace oracle
