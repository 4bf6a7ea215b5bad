#include "thread_usage.h"

#include <filesystem>
#include <fstream>
#include <string_view>

namespace {

// The number after `key` in a "Key:\tvalue" file such as status; 0 when absent.
std::uint64_t StatusField(const std::filesystem::path& file, std::string_view key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':')
            return std::stoull(line.substr(key.size() + 1));
    }
    return 0;
}

}  // namespace

std::map<long, ThreadUsage> SampleThreads() {
    std::map<long, ThreadUsage> threads;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        ThreadUsage usage;
        std::ifstream comm(entry.path() / "comm");
        std::getline(comm, usage.name);
        usage.voluntarySwitches = StatusField(entry.path() / "status", "voluntary_ctxt_switches");
        // schedstat: time on the CPU in ns, time waiting to run, time slices.
        std::ifstream(entry.path() / "schedstat") >> usage.runNanoseconds;
        threads[std::stol(entry.path().filename().string())] = usage;
    }
    return threads;
}

ResidentMemory SampleMemory() {
    return {StatusField("/proc/self/status", "VmRSS"), StatusField("/proc/self/status", "RssAnon")};
}
