#include "transaction_state.h"

namespace virk {

const char* ToText(TransactionState state) {
  // No default: the compiler names an enumerator left out.
  switch (state) {
    case TransactionState::kNoResponse:
      return "no response";
    case TransactionState::kDone:
      return "done";
    case TransactionState::kBadResponse:
      return "bad response";
    case TransactionState::kIncomplete:
      return "incomplete";
    case TransactionState::kCancelled:
      return "cancelled";
  }
  return "unknown";
}

}  // namespace virk
