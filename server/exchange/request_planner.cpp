#include "request_planner.h"

#include <algorithm>

#include "common/log.h"
#include "da_tag.h"

namespace virk {
namespace {

void LogErase(const char* format, int a, int b, int c = 0) {
  LogFormat(LogLevel::Debug, kLogUserland, format, a, b, c);
}

// The candidates are sorted, so once one lies beyond what the request can
// reach, so do all after it: they are dropped with one record instead of
// one each (a large group would otherwise log and scan thousands per request).
void LogRest(const std::vector<CDATag*>& tags, size_t next) {
  if (next < tags.size())
    LogErase("erase (rest %d) %d\n", int(tags.size() - next), int(tags[next]->Address()));
}

// The tags kept so far, compacted to the front of the list, and the span
// of registers they cover.
struct Span {
  std::vector<CDATag*>& tags;
  int start;
  int end;
  int lastKept;
  size_t kept;

  void Keep(CDATag* tag, int address, int newEnd) {
    end = newEnd;
    lastKept = address;
    tags[kept++] = tag;
  }
  uint16_t Finish() {
    tags.resize(kept);
    return uint16_t(end - start);
  }
};

}  // namespace

uint16_t PlanRead(std::vector<CDATag*>& tags, uint16_t limit, uint8_t maxFragment) {
  if (tags.empty()) return 0;
  const CDATag& first = *tags.front();
  const int32_t kind = first.RegKind();
  const int start = first.Address();
  const int segment = first.SegmentSize();
  // An overlapping tag never shrinks the span.
  Span span{tags, start, start + (segment ? segment : first.SizeInRegisters()), start, 1};
  for (size_t i = 1; i < tags.size(); ++i) {
    CDATag* tag = tags[i];
    const int address = tag->Address();
    const int tagSegment = tag->SegmentSize();
    if (tag->RegKind() != kind) continue;
    if (address == span.lastKept && (segment || tagSegment)) {
      if (tagSegment == segment) {
        span.Keep(tag, address, span.end);
        continue;
      }
      LogErase("erase (RegsInSegment2(%d!=%d)) %d\n", tagSegment, segment, address);
      continue;
    }
    if (segment || tagSegment) {
      LogErase("erase (RegsInSegment(%d!=%d)) %d\n", tagSegment, segment, address);
      if (segment) {  // a segment is read alone: nothing after it joins
        LogRest(tags, i + 1);
        break;
      }
      continue;
    }
    const int gap = address - span.end;
    const int newEnd = std::max(span.end, address + tag->SizeInRegisters());
    if (gap > maxFragment) {
      LogErase("erase (dFragment(%d)) %d\n", gap, address);
      LogRest(tags, i + 1);  // every later tag leaves a larger gap
      break;
    }
    if (newEnd - start > limit) {
      LogErase("erase (MaxRegsInReqv(%d>%d)) %d\n", newEnd - start, limit, address);
      if (address - start >= limit) {  // not even one register fits any more
        LogRest(tags, i + 1);
        break;
      }
      continue;
    }
    span.Keep(tag, address, newEnd);
  }
  return span.Finish();
}

uint16_t PlanWrite(std::vector<CDATag*>& tags, uint16_t limit) {
  if (tags.empty()) return 0;
  const int32_t kind = tags.front()->RegKind();
  const int start = tags.front()->EffectiveAddress();
  Span span{tags, start, start, -1, 0};
  for (size_t i = 0; i < tags.size(); ++i) {
    CDATag* tag = tags[i];
    const int address = tag->EffectiveAddress();
    // Registers are counted once even where tags overlap, so the request
    // never reaches past the last tag (that would write zeros there).
    const int newEnd = std::max(span.end, address + tag->SizeInRegisters());
    if (tag->RegKind() != kind) continue;
    if (address == span.lastKept) {
      span.Keep(tag, address, span.end);
      continue;
    }
    if (span.lastKept >= 0 && address > span.end) {
      LogErase("erase (dFragment(%d)) %d\n", address - span.end, address);
      LogRest(tags, i + 1);  // writes never bridge a gap
      break;
    }
    if (newEnd - start > limit) {
      if (tag->IsWriteGroup())
        LogErase("erase (MaxRegsInReqv(%d>%d)) %d\n", newEnd - start, limit, address);
      else
        LogErase("erase (bWriteGroup(%d)) %d\n", 0, address);
      continue;
    }
    if (span.lastKept >= 0 && !tag->IsWriteGroup()) {
      LogErase("erase (bWriteGroup(%d)) %d\n", 0, address);
      continue;
    }
    span.Keep(tag, address, newEnd);
  }
  return span.Finish();
}

}  // namespace virk
