#include "request_planner.h"

#include <algorithm>

#include "common/log.h"
#include "da_tag.h"

namespace virk {
namespace {

void LogErase(const char* format, int a, int b, int c = 0) {
  LogFormat(LogLevel::Debug, kLogUserland, format, a, b, c);
}

}  // namespace

uint16_t PlanRead(std::vector<CDATag*>& tags, uint16_t limit, uint8_t maxFragment) {
  if (tags.empty()) return 0;
  const CDATag& first = *tags.front();
  const int32_t kind = first.RegKind();
  const int start = first.Address();
  const int segment = first.SegmentSize();
  // The span covered so far ends at `end`; an overlapping tag never shrinks it.
  int end = start + (segment ? segment : first.SizeInRegisters());
  int lastKept = start;
  size_t kept = 1;
  for (size_t i = 1; i < tags.size(); ++i) {
    CDATag* tag = tags[i];
    const int address = tag->Address();
    const int tagSegment = tag->SegmentSize();
    bool keep = false;
    if (tag->RegKind() != kind) {
      keep = false;
    } else if (address == lastKept && (segment || tagSegment)) {
      keep = tagSegment == segment;
      if (!keep) LogErase("erase (RegsInSegment2(%d!=%d)) %d\n", tagSegment, segment, address);
    } else if (segment || tagSegment) {
      LogErase("erase (RegsInSegment(%d!=%d)) %d\n", tagSegment, segment, address);
    } else {
      const int gap = address - end;
      const int newEnd = std::max(end, address + tag->SizeInRegisters());
      if (gap > maxFragment) {
        LogErase("erase (dFragment(%d)) %d\n", gap, address);
      } else if (newEnd - start > limit) {
        LogErase("erase (MaxRegsInReqv(%d>%d)) %d\n", newEnd - start, limit, address);
      } else {
        keep = true;
        end = newEnd;
        lastKept = address;
      }
    }
    if (keep) tags[kept++] = tag;
  }
  tags.resize(kept);
  return uint16_t(end - start);
}

uint16_t PlanWrite(std::vector<CDATag*>& tags, uint16_t limit) {
  if (tags.empty()) return 0;
  const int32_t kind = tags.front()->RegKind();
  const int start = tags.front()->EffectiveAddress();
  int end = start;
  int lastKept = -1;
  size_t kept = 0;
  for (CDATag* tag : tags) {
    const int address = tag->EffectiveAddress();
    // Registers are counted once even where tags overlap, so the request
    // never reaches past the last tag (that would write zeros there).
    const int newEnd = std::max(end, address + tag->SizeInRegisters());
    bool keep = false;
    if (tag->RegKind() != kind) {
      keep = false;
    } else if (address == lastKept) {
      keep = true;
    } else if (lastKept >= 0 && address > end) {
      LogErase("erase (dFragment(%d)) %d\n", address - end, address);
    } else if (newEnd - start > limit) {
      if (tag->IsWriteGroup())
        LogErase("erase (MaxRegsInReqv(%d>%d)) %d\n", newEnd - start, limit, address);
      else
        LogErase("erase (bWriteGroup(%d)) %d\n", 0, address);
    } else if (lastKept < 0 || tag->IsWriteGroup()) {
      keep = true;
      end = newEnd;
      lastKept = address;
    } else {
      LogErase("erase (bWriteGroup(%d)) %d\n", 0, address);
    }
    if (keep) tags[kept++] = tag;
  }
  tags.resize(kept);
  return uint16_t(end - start);
}

}  // namespace virk
