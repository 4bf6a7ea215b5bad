// The Windows side of the probe: the system's own HID mouse and keyboard (Wine
// serves two) are already there.
#include "probe.h"

namespace probe {

void PrepareWorld() {}

// The test installs the virtual phone before the probe starts.
void PreparePhone() {}

}  // namespace probe
