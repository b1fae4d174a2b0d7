// A Modbus slave on a channel at run time: its protocol object, its five
// status variables, and the transactions that serve a group's tags.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "channel.h"
#include "common/item.h"
#include "exchange_result.h"
#include "modbus.h"
#include "tag_value.h"
#include "transaction_state.h"

namespace virk {

class CDATag;
class CGroup;
struct Transaction;

enum TagSetDirection : int32_t { kTagSetRead = 1, kTagSetWrite = 2 };

// What a group hands to its device: the tags to read or to write.
struct TagSet {
  uint8_t m_Addr = 1;
  int32_t m_Direction = kTagSetRead;
  std::vector<CDATag*> m_Tags;
  // How the pass ended, as a client is told: Good, or why it failed.
  uint32_t m_Result = kStatusGood;
};

// Values of `_Connection`.
enum ConnectionValue : int32_t {
  kConnectionClosed = 0,
  kConnectionGood = 1,
  kConnectionPortNotOpen = 2,
  kConnectionFailed = 3,
};

class CDevice : public CDeviceBase {
 public:
  static constexpr const char* kEmulationName = "_Emulation";
  static constexpr const char* kExchangeName = "_Exchange";
  static constexpr const char* kConnectionName = "_Connection";
  static constexpr const char* kResponseTimeName = "_ResponseTime";
  static constexpr const char* kScanTimeName = "_ScanTime";

  CDevice();

  // At every start of the channel's thread: status variables from the
  // settings, every tag Good, the protocol object set up.
  void InitDevice();
  bool IsEmulated() const;
  bool IsExchangeOn() const;
  // Serves the set: 0 when every tag was served, non-zero otherwise.
  int DataExchange(TagSet& set);
  void SetAllTagsStatus(uint32_t status);
  // Readable tags of a polled device wait for their first value; those of an
  // emulated device get it at once.
  void ResetTagValues();
  // Emulated: `_Connection` 1 (Good, local override), times 0 (Uncertain).
  void ShowEmulated();
  // Good when a client's write may go to the device; otherwise why it is
  // answered at once without a transaction (exchange stopped, link down,
  // or the device failed its last exchange a moment ago).
  uint32_t WriteRefusal() const;
  // Demoted and still within its time out of the polls (see DemotionRule).
  bool IsDemoted() const;

  // The status variable of that name, or null.
  CBaseTag* FindStatusTag(const std::string& name);
  // A client's write to `_Emulation` or `_Exchange`: stored with status Good.
  // False for the read-only status variables or a value that is not Boolean.
  bool WriteStatusTag(CBaseTag& tag, const UA_Variant& value);

  CChannel* Channel() const;
  std::vector<CGroup*> Groups() const;
  CModbus& Modbus() { return m_Modbus; }

  CBaseTag m_Emulation;
  CBaseTag m_Exchange;
  CBaseTag m_Connection;
  CBaseTag m_ResponseTime;
  CBaseTag m_ScanTime;

 private:
  bool CreatePacketsReadDA(std::vector<CDATag*>& tags, Transaction& transaction);
  bool CreatePacketsWriteDA(std::vector<CDATag*>& tags, Transaction& transaction);
  bool OperateTransactions(Transaction& transaction, TagSet& set);
  ExchangeResult ValidateFrame(Transaction& transaction, bool write);
  // Reads the answer chunk by chunk until it validates; the transaction
  // state. Sets `yielded` when a waiting writer cut the wait short.
  TransactionState ReceiveResponse(Transaction& transaction, bool& yielded);
  void AnalyseResponseDA(TagSet& set, std::vector<CDATag*>& tags);
  void FinishBroadcast(std::vector<CDATag*>& tags);
  void MarkConnectionFailed(uint32_t failure);
  // Under the global value lock.
  void SetConnection(int32_t value);
  void SetConnectionAfterFailure(bool includeClosed);

  CModbus m_Modbus;
  std::atomic<bool> m_LastGood{false};
  std::atomic<bool> m_LastFailed{false};
  // Why the last exchange failed, and when (ticks), for refusing writes.
  std::atomic<uint32_t> m_LastFailure{kStatusGood};
  std::atomic<uint32_t> m_LastFailureTick{0};
  // Counted under the port lock, by polls and writes alike.
  DemotionRule m_Demotion;
  uint32_t m_FailedInARow = 0;
  std::atomic<bool> m_Demoted{false};
  std::atomic<uint32_t> m_DemotedTick{0};
  std::atomic<uint32_t> m_DemotedMs{0};  // the rule's time, for the server thread's writes
};

}  // namespace virk
