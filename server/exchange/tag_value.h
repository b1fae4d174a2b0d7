// The published value holder: what an OPC UA variable shows (value, status,
// timestamp, data type, access) under one lock. Tags and a device's status
// variables are CBaseTag objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include <open62541/types.h>

namespace virk {

constexpr uint32_t kStatusGood = 0x00000000;
constexpr uint32_t kStatusUncertain = 0x40000000;
constexpr uint32_t kStatusBad = 0x80000000;
constexpr uint32_t kStatusGoodLocalOverride = 0x00960000;
// The standard sub-codes a client can tell the faults apart by.
constexpr uint32_t kStatusBadWaitingForInitialData = UA_STATUSCODE_BADWAITINGFORINITIALDATA;
constexpr uint32_t kStatusBadTimeout = UA_STATUSCODE_BADTIMEOUT;                // no answer
constexpr uint32_t kStatusBadNotConnected = UA_STATUSCODE_BADNOTCONNECTED;      // link down
constexpr uint32_t kStatusBadNoCommunication = UA_STATUSCODE_BADNOCOMMUNICATION;  // device known down
constexpr uint32_t kStatusBadCommunicationError = UA_STATUSCODE_BADCOMMUNICATIONERROR;  // garbled answer
constexpr uint32_t kStatusBadOutOfRange = UA_STATUSCODE_BADOUTOFRANGE;
constexpr uint32_t kStatusBadDeviceFailure = UA_STATUSCODE_BADDEVICEFAILURE;
constexpr uint32_t kStatusBadNotSupported = UA_STATUSCODE_BADNOTSUPPORTED;
constexpr uint32_t kStatusBadConfigurationError = UA_STATUSCODE_BADCONFIGURATIONERROR;
constexpr uint32_t kStatusBadOutOfService = UA_STATUSCODE_BADOUTOFSERVICE;
constexpr uint32_t kStatusUncertainLastUsableValue = UA_STATUSCODE_UNCERTAINLASTUSABLEVALUE;

enum AccessFlags : uint16_t { kAccessRead = 1, kAccessWrite = 2 };

class CBaseTag {
 public:
  CBaseTag();
  virtual ~CBaseTag();
  CBaseTag(const CBaseTag&) = delete;
  CBaseTag& operator=(const CBaseTag&) = delete;

  // Data type Boolean, no access, status Good, timestamp now.
  virtual void Init();

  // Replaces the value by a zero value of `type` (which becomes the data type).
  virtual void ResetValue(const UA_DataType* type);
  // Copies value and status out; `out` is cleared first.
  virtual void GetValue(UA_Variant& out, uint32_t& status) const;
  // Copies value, status and the time the value was stored into a fresh
  // (initialised) data value, as one snapshot; sets no has-flags.
  void GetDataValue(UA_DataValue& out) const;
  // Takes over the contents of `value` (left empty) and sets the status.
  virtual void SetValueStatus(UA_Variant& value, uint32_t status);
  // Stores `value` with its status, read at `time`, and hands the previous
  // value back in `value`: a poll storing many values of one type reuses one
  // buffer instead of allocating and freeing one per value.
  void ExchangeValue(UA_Variant& value, uint32_t status, UA_DateTime time);
  // Copies `value` and sets the status.
  virtual void SetValue(const UA_Variant& value, uint32_t status);
  virtual void SetStatus(uint32_t status);
  // No value has come yet: the status says so until one is stored.
  void MarkWaitingForData();
  // A value was stored since the tag last waited for data.
  bool HasValue() const;

  uint32_t Status() const;
  UA_DateTime Timestamp() const;

  // Set at initialisation, read by the publishing side; not changed while
  // the server runs, so no lock.
  const UA_DataType* DataType() const { return m_DataType; }
  void SetDataType(const UA_DataType* type) { m_DataType = type; }
  uint16_t AccessFlags() const { return m_AccessFlags; }
  void SetAccessFlags(uint16_t flags) { m_AccessFlags = flags; }
  bool IsReadable() const { return m_AccessFlags & kAccessRead; }
  bool IsWritable() const { return m_AccessFlags & kAccessWrite; }

  // Served within the current exchange pass; touched only by the thread
  // that runs the pass.
  bool IsDone() const { return m_Done; }
  void SetDone(bool done) { m_Done = done; }

  // Set by polls and by a monitored item; read by the server thread.
  bool IsPolled() const { return m_Polled.load(std::memory_order_relaxed); }
  void SetPolled(bool polled) { m_Polled.store(polled, std::memory_order_relaxed); }

  // Reference count of the publishing side.
  int32_t AddRef() { return ++m_RefCount; }
  int32_t Release() { return --m_RefCount; }
  int32_t RefCount() const { return m_RefCount.load(); }

 private:
  const UA_DataType* m_DataType;
  UA_Variant m_Value;
  uint32_t m_Status = kStatusUncertain;
  UA_DateTime m_Timestamp = 0;
  bool m_HasValue = true;
  uint16_t m_AccessFlags = 0;
  bool m_Done = false;
  std::atomic<bool> m_Polled{false};
  std::atomic<int32_t> m_RefCount{0};
  mutable std::mutex m_ValueLock;
};

// An answer that carries no value for the tag: its last value stays usable
// (Uncertain) if it has one; without one the tag is `bad`.
inline uint32_t KeptValueStatus(const CBaseTag& tag, uint32_t bad) {
  return tag.HasValue() ? kStatusUncertainLastUsableValue : bad;
}

}  // namespace virk
