// The hand-off points of the layers: each calls one of these where one thread
// hands work to another.
#pragma once

#include "kernel/kernel_objects.h"
#include "simdesk/jitter.h"

namespace simdesk {

// Without the desktop lock.
void JitterAt(HandOff handOff);
// With it: released around the delay only while jitter is enabled, so a normal
// run keeps its exact lock order.
void JitterOutsideLock(DesktopGuard& lock, HandOff handOff);

}  // namespace simdesk
