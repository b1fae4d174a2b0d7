#include "transport_result.h"

namespace virk {

const char* ToText(TransportResult result) {
  // No default: the compiler names an enumerator left out.
  switch (result) {
    case TransportResult::kOk:
      return "ok";
    case TransportResult::kFailed:
      return "failed";
    case TransportResult::kTimeout:
      return "time-out";
    case TransportResult::kWriteTimeout:
      return "write time-out";
    case TransportResult::kYielded:
      return "yielded";
  }
  return "unknown";
}

}  // namespace virk
