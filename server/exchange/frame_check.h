// What the check of a received frame against its request found.
#pragma once

namespace virk {

enum class FrameCheck {
  kValid,
  // More bytes are needed.
  kIncomplete,
  // TCP: the answer belongs to another request.
  kTransactionIdMismatch,
  kUnitMismatch,
  kFunctionMismatch,
  // A write's answer echoes another address or quantity than was sent.
  kEchoMismatch,
  // CRC (RTU) or LRC (ASCII) error.
  kChecksumError,
};

// The check's name for the log.
const char* ToText(FrameCheck check);

}  // namespace virk
