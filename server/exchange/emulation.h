// Values for the tags of an emulated device: a constant, a random number in
// [0, 1) or a sine over the process's running time.
#pragma once

#include <cstdint>

#include <open62541/types.h>

#include "common/settings.h"

namespace virk {

class CDATag;

// Value of the tag's emulator into `out` (cleared first); false when the tag
// has no emulator (an unknown emulation type).
bool GenerateEmulatedValue(const TagSettings& settings, UA_Variant& out);

// Generates the tag's value and stores it, keeping the tag's status. The
// caller holds the global value lock.
bool Emulate(CDATag& tag);

// One full wave per `periodSeconds`, 0 at elapsed time 0. A period of 0 or
// less has no wave: the value is 0.
double SineValue(int32_t periodSeconds, uint64_t elapsedMs);

// Milliseconds since the process started; shared by every sine.
uint64_t ProcessElapsedMs();

}  // namespace virk
