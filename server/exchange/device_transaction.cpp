// CDevice: one transaction with its pause, attempts and time-outs.
#include <mutex>
#include <optional>

#include "channel.h"
#include "common/log.h"
#include "device.h"
#include "platform/platform.h"
#include "status_values.h"
#include "transaction.h"
#include "value_lock.h"

namespace virk {
namespace {

#define DEVICE_DEBUG(...) LogFormat(LogLevel::Debug, kLogUserland, __VA_ARGS__)

// How often one poll transaction gives way to writers in the middle of a
// receive; after that it waits its attempts out, so that writes coming one
// after the other cannot keep a silent device from being found out.
constexpr int kMaxYields = 3;

TransactionState StateOfCheck(FrameCheck check) {
  if (check == FrameCheck::kValid) return TransactionState::kDone;
  if (check == FrameCheck::kIncomplete) return TransactionState::kIncomplete;
  return TransactionState::kBadResponse;
}

// Limits of one attempt on the port, lifted again on every way out.
class AttemptLimits {
 public:
  explicit AttemptLimits(CChannel& channel) : m_Channel(channel) {}
  ~AttemptLimits() {
    m_Channel.SetPortDeadline(nullptr);
    m_Channel.SetPortYields(false);
  }
  AttemptLimits(const AttemptLimits&) = delete;
  AttemptLimits& operator=(const AttemptLimits&) = delete;

  void Bound(uint32_t ms) {
    m_Deadline.emplace(ms);
    m_Channel.SetPortDeadline(&*m_Deadline);
  }

 private:
  CChannel& m_Channel;
  std::optional<Deadline> m_Deadline;
};

}  // namespace

TransactionState CDevice::ReceiveResponse(Transaction& transaction, bool& yielded) {
  CChannel& channel = *Channel();
  TransactionState state = TransactionState::kNoResponse;
  yielded = false;
  while (transaction.m_Used < transaction.m_Expected) {
    uint32_t size = transaction.m_Expected - transaction.m_Used;
    const TransportResult result = channel.PortRead(transaction.m_Response + transaction.m_Used, &size);
    if (size == 0) {
      yielded = result == TransportResult::kYielded;
      const CPortIO* port = channel.Port();
      transaction.m_LinkLost = !port || !port->IsOpen() || !port->IsAvailable();
      break;
    }
    transaction.m_Used += size;
    DEVICE_DEBUG("CDevice::ValidateFrame");
    // Every chunk is checked, so a complete frame ends the wait at once.
    if (m_Modbus.SetRawData(transaction.m_Response, transaction.m_Used) && m_Modbus.ExtractFrame())
      m_Modbus.ValidateResponse();
    transaction.m_CheckResult = m_Modbus.CheckResult();
    state = StateOfCheck(transaction.m_CheckResult);
    if (state == TransactionState::kBadResponse)
      DEVICE_DEBUG("CDevice::ValidateFrame rs = %s", ToText(transaction.m_CheckResult));
    DEVICE_DEBUG("CDevice::ValidateFrame END");
    if (state != TransactionState::kIncomplete) break;
  }
  return state;
}

// A client's write is made once and waits one response time-out in all,
// connecting included: a request sent again may be carried out twice, and
// the server thread that waits for it serves every client.
ExchangeResult CDevice::ValidateFrame(Transaction& transaction, bool write) {
  CChannel* channel = Channel();
  if (!channel || channel->ConnectionState() != kLinkReady) {
    transaction.m_SendFailed = true;
    return ExchangeResult::kNotSent;
  }
  const uint64_t start = platform::MonotonicMicros();
  const bool broadcast = m_Data.m_Addr == 0;
  const uint8_t attempts = write && channel->m_Data.m_Attempts > 1 ? 1 : channel->m_Data.m_Attempts;
  const uint32_t pause = channel->m_Data.m_Pause;
  int yields = 0;
  uint8_t made = 0;
  while (made < attempts) {
    // Between two attempts of a poll a waiting writer goes first.
    if (!write && made > 0) channel->YieldPortToWriter();
    if (!channel->IsRunning() || (pause && !channel->PauseMs(pause))) {
      transaction.m_State = TransactionState::kCancelled;
      return ExchangeResult::kCancelled;
    }
    AttemptLimits limits(*channel);
    if (write) limits.Bound(channel->m_Data.m_ResponseTimeout);
    channel->DiscardPortInput();
    {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      if (!channel->IsPortOpen()) SetConnection(kConnectionPortNotOpen);
    }
    transaction.m_Used = 0;
    uint32_t size = uint32_t(transaction.m_Request.size());
    if (channel->PortWrite(transaction.m_Request.data(), &size) != TransportResult::kOk) {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(channel->IsPortOpen() ? kConnectionFailed : kConnectionClosed);
      transaction.m_SendFailed = true;
    }
    ++made;
    if (broadcast) {
      transaction.m_State = TransactionState::kDone;
      break;
    }
    if (transaction.m_SendFailed) continue;
    if (transaction.m_Expected == 0) {
      transaction.m_State = TransactionState::kDone;
      break;
    }
    if (!write) channel->SetPortYields(yields < kMaxYields);
    bool yielded = false;
    transaction.m_State = ReceiveResponse(transaction, yielded);
    // A stop during the wait is not the device's fault.
    if (!channel->IsRunning()) {
      transaction.m_State = TransactionState::kCancelled;
      return ExchangeResult::kCancelled;
    }
    const bool unanswered = transaction.m_State == TransactionState::kNoResponse ||
                            transaction.m_State == TransactionState::kIncomplete;
    // The request may still sit in the link, to be carried out or answered
    // later: the link is reset before anything else is sent.
    const bool reached = channel->IsPortOpen();
    if (unanswered) channel->AbortExchange();
    if (yielded) {
      // Not the device's fault either: the attempt is made again after the writer.
      ++yields;
      --made;
      CModbus kept = m_Modbus;
      channel->SetPortYields(false);  // the writer's own receive never gives way
      channel->YieldPortToWriter();
      m_Modbus = kept;  // the writer may have used this device's protocol object
      continue;
    }
    if (transaction.m_State == TransactionState::kNoResponse) {
      DEVICE_DEBUG("Response time-out: attempt %u, transaction status %s", unsigned(made - 1),
                   ToText(transaction.m_State));
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(reached ? kConnectionFailed : kConnectionClosed);
    } else if (transaction.m_State == TransactionState::kDone) {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(kConnectionGood);
      break;
    } else {
      DEVICE_DEBUG("Bad response: attempt %u, transaction status %s", unsigned(made - 1),
                   ToText(transaction.m_State));
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      if (reached) SetConnection(kConnectionFailed);
    }
  }
  if (!broadcast) {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetFloatValue(m_ResponseTime, float(double(platform::MonotonicMicros() - start) / 1000.0));
  }
  return transaction.Result();
}

}  // namespace virk
