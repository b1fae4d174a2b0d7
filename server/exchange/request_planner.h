// Request planning: which of a device's tags one Modbus request can serve.
// Both planners take tags of one register kind, sorted by address, shorten
// the list to the tags the request covers and return the number of
// registers (or coils and discrete inputs) it spans from the first tag.
// Tags they drop stay with the caller for a later request.
#pragma once

#include <cstdint>
#include <vector>

namespace virk {

class CDATag;

// Reads may bridge gaps of up to `maxFragment` registers; a segment is read
// whole and alone. `limit` bounds the span, except that the first tag always
// stays.
uint16_t PlanRead(std::vector<CDATag*>& tags, uint16_t limit, uint8_t maxFragment);

// Writes never bridge gaps; besides the first tag only tags in group-write
// mode join. Tags are sorted by effective address.
uint16_t PlanWrite(std::vector<CDATag*>& tags, uint16_t limit);

}  // namespace virk
