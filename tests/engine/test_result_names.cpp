// The log tells results apart only by their names.
#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>

#include "exchange_result.h"
#include "frame_check.h"
#include "transaction_state.h"
#include "transport/transport_result.h"

namespace virk {
namespace {

template <typename Code>
void ExpectOwnNames(std::initializer_list<Code> codes) {
  std::set<std::string> names;
  for (Code code : codes) {
    const std::string name = ToText(code);
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, "unknown");
    EXPECT_TRUE(names.insert(name).second) << "named twice: " << name;
  }
}

TEST(ResultNames, EveryCodeOfEachFamilyHasItsOwnName) {
  ExpectOwnNames({TransportResult::kOk, TransportResult::kFailed, TransportResult::kTimeout,
                  TransportResult::kWriteTimeout, TransportResult::kYielded});
  ExpectOwnNames({FrameCheck::kValid, FrameCheck::kIncomplete, FrameCheck::kTransactionIdMismatch,
                  FrameCheck::kUnitMismatch, FrameCheck::kFunctionMismatch, FrameCheck::kEchoMismatch,
                  FrameCheck::kChecksumError});
  ExpectOwnNames({TransactionState::kNoResponse, TransactionState::kDone, TransactionState::kBadResponse,
                  TransactionState::kIncomplete, TransactionState::kCancelled});
  ExpectOwnNames({ExchangeResult::kDone, ExchangeResult::kCancelled, ExchangeResult::kNotSent,
                  ExchangeResult::kLinkLost, ExchangeResult::kBadResponse, ExchangeResult::kNoResponse,
                  ExchangeResult::kPartialResponse});
}

}  // namespace
}  // namespace virk
