#include "frame_check.h"

namespace virk {

const char* ToText(FrameCheck check) {
  // No default: the compiler names an enumerator left out.
  switch (check) {
    case FrameCheck::kValid:
      return "valid";
    case FrameCheck::kIncomplete:
      return "incomplete";
    case FrameCheck::kTransactionIdMismatch:
      return "transaction id mismatch";
    case FrameCheck::kUnitMismatch:
      return "unit mismatch";
    case FrameCheck::kFunctionMismatch:
      return "function mismatch";
    case FrameCheck::kEchoMismatch:
      return "echo mismatch";
    case FrameCheck::kChecksumError:
      return "checksum error";
  }
  return "unknown";
}

}  // namespace virk
