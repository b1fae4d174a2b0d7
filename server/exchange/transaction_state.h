// Where one transaction of a device stands, attempt by attempt.
#pragma once

#include <cstdint>

namespace virk {

enum class TransactionState : uint8_t {
  kNoResponse,
  kDone,
  kBadResponse,
  // Only part of the answer came.
  kIncomplete,
  // The channel stopped.
  kCancelled,
};

// The state's name for the log.
const char* ToText(TransactionState state);

}  // namespace virk
