// CDevice: one transaction with its pause, attempts and time-outs.
#include <mutex>

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

uint8_t StatusOfCheck(uint32_t check) {
  if (check == kFrameValid) return kTransactionDone;
  if (check == kFrameIncomplete) return kTransactionIncomplete;
  return kTransactionBadResponse;
}

}  // namespace

uint8_t CDevice::ReceiveResponse(Transaction& transaction) {
  CChannel& channel = *Channel();
  uint8_t status = kTransactionNoResponse;
  while (transaction.m_Used < transaction.m_Expected) {
    uint32_t size = transaction.m_Expected - transaction.m_Used;
    channel.PortRead(transaction.m_Response + transaction.m_Used, &size);
    if (size == 0) break;
    transaction.m_Used += size;
    DEVICE_DEBUG("CDevice::ValidateFrame");
    // Every chunk is checked, so a complete frame ends the wait at once.
    if (m_Modbus.SetRawData(transaction.m_Response, transaction.m_Used) && m_Modbus.ExtractFrame())
      m_Modbus.ValidateResponse();
    transaction.m_CheckResult = m_Modbus.CheckResult();
    status = StatusOfCheck(transaction.m_CheckResult);
    if (status == kTransactionBadResponse)
      DEVICE_DEBUG("CDevice::ValidateFrame rs = %u", unsigned(transaction.m_CheckResult));
    DEVICE_DEBUG("CDevice::ValidateFrame END");
    if (status != kTransactionIncomplete) break;
  }
  return status;
}

bool CDevice::ValidateFrame(Transaction& transaction) {
  CChannel* channel = Channel();
  if (!channel || channel->ConnectionState() != kLinkReady) return false;
  const uint64_t start = platform::MonotonicMicros();
  const bool broadcast = m_Data.m_Addr == 0;
  const uint8_t attempts = channel->m_Data.m_Attempts;
  const uint32_t pause = channel->m_Data.m_Pause;
  for (uint8_t attempt = 0; attempt < attempts; ++attempt) {
    if (!channel->IsRunning() || (pause && !channel->PauseMs(pause))) {
      transaction.m_Status = kTransactionCancelled;
      return false;
    }
    channel->PortRead(nullptr, nullptr);
    {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      if (!channel->IsPortOpen()) SetConnection(kConnectionPortNotOpen);
    }
    transaction.m_Used = 0;
    uint32_t size = uint32_t(transaction.m_Request.size());
    if (channel->PortWrite(transaction.m_Request.data(), &size) != kPortOk) {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(channel->IsPortOpen() ? kConnectionFailed : kConnectionClosed);
      transaction.m_SendFailed = true;
    }
    if (broadcast) {
      transaction.m_Status = kTransactionDone;
      break;
    }
    if (transaction.m_SendFailed) continue;
    if (transaction.m_Expected == 0) {
      transaction.m_Status = kTransactionDone;
      break;
    }
    transaction.m_Status = ReceiveResponse(transaction);
    // A stop during the wait is not the device's fault.
    if (!channel->IsRunning()) {
      transaction.m_Status = kTransactionCancelled;
      return false;
    }
    if (transaction.m_Status == kTransactionNoResponse) {
      DEVICE_DEBUG("ERROR_DATA_TIMEOUIT %d\n", int(attempt));
      DEVICE_DEBUG("ERROR_DATA_TIMEOUIT QuanRetry %u Transaction.status %u", unsigned(attempt),
                   unsigned(transaction.m_Status));
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(channel->IsPortOpen() ? kConnectionFailed : kConnectionClosed);
    } else if (transaction.m_Status == kTransactionDone) {
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      SetConnection(kConnectionGood);
      break;
    } else {
      DEVICE_DEBUG("ERROR_DATA %d", int(attempt));
      DEVICE_DEBUG("Error Data QuanRetry %u Transaction.status %u", unsigned(attempt),
                   unsigned(transaction.m_Status));
      std::lock_guard<std::mutex> lock(GlobalValueLock());
      if (channel->IsPortOpen()) SetConnection(kConnectionFailed);
    }
  }
  if (!broadcast) {
    std::lock_guard<std::mutex> lock(GlobalValueLock());
    SetFloatValue(m_ResponseTime,
                  float(double(platform::MonotonicMicros() - start) / 1000.0));
  }
  return transaction.m_Status == kTransactionDone;
}

}  // namespace virk
