// Runs every section of the probe; the output is compared with expected.txt.
#include "probe.h"

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
