// One request and its response, for one pass of a device over a tag set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange_result.h"
#include "frame_check.h"
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

  // How the exchange ended, once its attempts are over.
  ExchangeResult Result() const {
    if (m_State == TransactionState::kDone) return ExchangeResult::kDone;
    if (m_State == TransactionState::kCancelled) return ExchangeResult::kCancelled;
    // A link that failed says more than what little came over it.
    if (m_SendFailed) return ExchangeResult::kNotSent;
    if (m_LinkLost) return ExchangeResult::kLinkLost;
    if (m_State == TransactionState::kBadResponse) return ExchangeResult::kBadResponse;
    if (m_State == TransactionState::kIncomplete) return ExchangeResult::kPartialResponse;
    return ExchangeResult::kNoResponse;
  }
};

}  // namespace virk
