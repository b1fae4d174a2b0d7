// One request and its response, for one pass of a device over a tag set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame_check.h"
#include "tag_value.h"
#include "transaction_state.h"

namespace virk {

constexpr size_t kResponseBufferSize = 512;

struct Transaction {
  void SetRequest(const uint8_t* frame, size_t length) { m_Request.assign(frame, frame + length); }

  std::vector<uint8_t> m_Request;
  uint8_t m_Response[kResponseBufferSize] = {};
  uint32_t m_Used = 0;
  uint16_t m_Expected = 0;
  FrameCheck m_CheckResult = FrameCheck::kValid;
  TransactionState m_State = TransactionState::kNoResponse;
  // The request could not be sent: no answer is awaited any more.
  bool m_SendFailed = false;
  // The link went away while the answer was awaited (peer closed, device gone).
  bool m_LinkLost = false;

  // What a failed transaction tells a client about the device.
  uint32_t FailureStatus() const {
    if (m_SendFailed || m_LinkLost) return kStatusBadNotConnected;
    if (m_State == TransactionState::kBadResponse) return kStatusBadCommunicationError;
    return kStatusBadTimeout;  // no answer, or only part of one
  }
};

}  // namespace virk
