// What a transport's open, connect, read and write end with.
#pragma once

namespace virk {

enum class TransportResult {
  kOk,
  // Link not open, link lost, nothing could be sent, or a serial read time-out.
  kFailed,
  // TCP: no data or no room within the time-out.
  kTimeout,
  // Serial: a write did not complete within kSerialWriteLimitMs.
  kWriteTimeout,
  // TCP: a receive gave way to a waiting writer before anything arrived.
  kYielded,
};

// The result's name for the log.
const char* ToText(TransportResult result);

}  // namespace virk
