// How one request/response exchange of a device ended, its attempts included.
#pragma once

#include <cstdint>

namespace virk {

enum class ExchangeResult {
  // Answered, or sent where no answer is awaited.
  kDone,
  // The channel stopped.
  kCancelled,
  // The link was not ready, or the request could not be sent.
  kNotSent,
  // The link went away while the answer was awaited (peer closed, device gone).
  kLinkLost,
  // What came back did not validate.
  kBadResponse,
  kNoResponse,
  // Only part of the answer came.
  kPartialResponse,
};

// The result's name for the log.
const char* ToText(ExchangeResult result);

// The status a client is shown for the exchange.
uint32_t ClientStatus(ExchangeResult result);

}  // namespace virk
