// Runs every section of the probe; the output is compared with expected.txt.
#include <cstdio>

#include "probe.h"

namespace probe {

void Line(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

std::string Num(long long value) {
    return std::to_string(value);
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string Err() {
    return "err=" + Num(GetLastError());
}

std::string NumErr(long long value) {
    return Num(value) + " " + Err();
}

std::string Outcome(BOOL ok) {
    return ok ? "TRUE" : "FALSE " + Err();
}

std::string PlantedError() {
    const DWORD error = GetLastError();
    return error == kPlantedError ? "kept" : "set " + Num(error);
}

}  // namespace probe

int main() {
    probe::PrepareWorld();
    probe::ProbeKernel();
    probe::ProbeText();
    probe::ProbeWindows();
    probe::ProbeMessages();
    probe::ProbeBroadcasts();
    probe::ProbeCopyData();
    probe::ProbeSetupApi();
    probe::ProbeHidFiles();
    probe::ProbeHidParsing();
    probe::ProbeNotifications();
    probe::ProbeDepartures();
    return 0;
}
