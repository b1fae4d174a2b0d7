#include "exchange_result.h"

#include "tag_value.h"

namespace virk {

// No default in the switches: the compiler names an enumerator left out.

const char* ToText(ExchangeResult result) {
  switch (result) {
    case ExchangeResult::kDone:
      return "done";
    case ExchangeResult::kCancelled:
      return "cancelled";
    case ExchangeResult::kNotSent:
      return "not sent";
    case ExchangeResult::kLinkLost:
      return "link lost";
    case ExchangeResult::kBadResponse:
      return "bad response";
    case ExchangeResult::kNoResponse:
      return "no response";
    case ExchangeResult::kPartialResponse:
      return "partial response";
  }
  return "unknown";
}

uint32_t ClientStatus(ExchangeResult result) {
  switch (result) {
    case ExchangeResult::kDone:
      return kStatusGood;
    case ExchangeResult::kCancelled:
      return kStatusBadOutOfService;
    case ExchangeResult::kNotSent:
    case ExchangeResult::kLinkLost:
      return kStatusBadNotConnected;
    case ExchangeResult::kBadResponse:
      return kStatusBadCommunicationError;
    case ExchangeResult::kNoResponse:
    case ExchangeResult::kPartialResponse:
      // The device may have carried the request out: the outcome is unknown.
      return kStatusBadTimeout;
  }
  return kStatusBadTimeout;
}

}  // namespace virk
